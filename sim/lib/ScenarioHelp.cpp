// The description of the scenario format shown by tallyport-sim --help.
#include "Simulator.h"

QString Simulator::scenarioHelp()
{
    return QStringLiteral(R"(Scenario file (JSON):

{
  "timeScale": 1,                 simulated seconds per real second (default 1)
  "devices": [
    {
      "name": "Kitchen Freezers", unique; also the device name kept in the device
      "address": "127.0.0.11",    the device listens on this address ...
      "port": 10001,              ... and port (default 10001)
      "family": 5, "model": 5, "firmware": 25,    identification (see models below)
      "unit": "F",                temperature unit of the device, "F" or "C" (default F)
      "updateRate": 5,            minutes between log records (default 5)
      "battery": 13.2,            backup battery volts (optional)
      "clock": "2025-03-05T14:07:00",   device clock at start (default: now)
      "sensors": [
        { "port": 0, "type": "temperature", "name": "Walk-in Freezer",
          "base": -5, "drift": 3, "period": 10, "noise": 0.2, "phase": 0,
          "lower": -20, "upper": 10, "time": 5 }
      ]
    }
  ],
  "events": [
    { "at": 120, "device": "Kitchen Freezers", "fault": "silent", "for": 60 },
    { "at": 300, "every": 900, "device": "Kitchen Freezers", "port": 8, "value": 0, "for": 180 }
  ]
}

Sensor fields: "port" 0-9 and "type" (must match the model's port: temperature, humidity,
door, water, power, dry contact, analog) are required. "name" (up to 20 characters) is stored
in the device; a port without a name is disabled and never alarms. The value follows
base + drift * sin(2 pi (t + phase) / period) + random noise within +/- noise, t and period in
minutes; door, water, power and dry-contact inputs read 1 while that is 0.5 or more, else 0
(door 1 = closed, water 1 = water, power 1 = on, dry contact 1 = closed). "unit" ("F"/"C")
is the unit of base and drift for temperatures (default: the device's). "connected": false
reports "not connected". "lower"/"upper" are the limits and "time" the minutes out of limits
before the alarm byte is set, written into the device's pages; "normal": "on"/"off" is the
normal state of a power input; "correction" the calibration offset in degrees. A door alarms
when open, water when wet, a dry contact when closed, power when not in its normal state.

Events happen "at" a simulated second after the start, again every "every" seconds when
given, and last "for" seconds (0 or missing: until changed). An event has either
  "fault": busy | silent | refused | slow | dribble | short | overlong | garbage | error |
           wrong-echo | reset    (optional "count": only that many transactions), or
  "port" and "value": the input is held at that value (drift and noise stop) for the time.

Models (family, model: ports):
  5, 5 / 5, 10 / any, 50  RX705 style: 0-7 temperature, 8-9 door
  5, 8                    RX708: 0,2,4,6 temperature, 1,3,5,7 humidity, 8 water
  any, 20                 RX720: 0-3 temperature, 4 dry contact
  5, 40                   RX740: 0-3 temperature, 4-7 power, 8 dry contact
  5, 4                    RX700-4: 0-3 analog
  3, 3 to 5               Wexa 13-15: 0-1 temperature, 2-3 door
  3, 6                    Wexa 16: 0-2 temperature (2 internal), 3 humidity, 4-5 door
Family 5 from firmware 23 and family 3 keep a log; RX705-style devices from firmware 23,
Wexa from firmware 5 and the Wexa 16 report temperatures in tenths.
)");
}
