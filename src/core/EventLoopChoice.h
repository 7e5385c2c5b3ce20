#pragma once

// Monitoring runs on Qt's own event loop rather than GLib's. Each turn of GLib's loop costs
// more (its sources are prepared and checked, and every queued call writes to its wake-up
// descriptor), and a poll cycle of thousands of devices takes many turns for every device:
// the cycle at 2,000 devices takes about a third less time on Qt's loop. Called before the
// application object exists; a user who sets QT_NO_GLIB keeps that choice, and
// TALLYPORT_EVENT_LOOP=glib keeps GLib's loop (for a desktop whose dialogs need it).
void PreferQtEventLoop();
