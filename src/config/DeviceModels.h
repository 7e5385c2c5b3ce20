#pragma once

#include <QString>

// What a device's identification (model family, model number, firmware revision) decides in
// the configuration windows.

// The model's display text (also stored as ServerModel); "Server model could not be
// determined" for an identification the program does not know.
QString ModelText(int modelFamily, int modelNumber);

// The parameter editor of the model: "frmWexa", "frmWexa16", "frmRX705", "frmRX708",
// "frmRX720", "frmRX740", or empty when the model has none.
QString ModelEditorName(int modelFamily, int modelNumber);

// The device keeps a clock and an on-board log that can be read: family 3, or family 5 from
// firmware 23.
bool HasClockAndLog(int modelFamily, int firmwareRevision);
// The data log frame is offered: family 3, or family 5 with model 5 from firmware 23 or model 10
// from firmware 24.
bool ShowsDataLogFrame(int modelFamily, int modelNumber, int firmwareRevision);
// The telephone parameters are offered: family 5 from firmware 25, or model 8 with firmware 12.
bool ShowsPhoneParameters(int modelFamily, int modelNumber, int firmwareRevision);

// Bytes per on-board log record: 11 (family 3 below model 6), 15 (family 3 model 6), 23 (family
// 5 from firmware 23); 0 when the program cannot decode the device's log.
int LogRecordSize(int modelFamily, int modelNumber, int firmwareRevision);
