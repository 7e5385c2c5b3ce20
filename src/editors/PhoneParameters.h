#pragma once

class EditorForm;
class EditorSession;
class Prompts;

// The telephone call-out window's own rules.

// Before a store: boxes 9 to 13 may not be blank and must lie in their ranges. The first that
// does not gets its message, a replacement value and the focus; false stops the store.
bool CheckPhoneParameters(EditorForm &form, Prompts &prompts);

// "Defaults": after the operator agrees, the timing boxes and the call-out switch get the
// factory values and everything is stored (the numbers and the Local ID as shown).
bool RestorePhoneDefaults(EditorSession &session);
