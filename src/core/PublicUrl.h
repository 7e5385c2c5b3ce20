#pragma once

#include <QString>

// [web] publicUrl: the address other computers and phones reach the status page by, for the links
// Tallyport publishes. Usable when it is an http:// or https:// address with a host and without a
// user, query or fragment (any of which could carry a secret into every link); publicUrl is then
// the address ending in "/". False with the reason otherwise.
bool PublicUrlUsable(const QString &text, QString &publicUrl, QString &reason);
