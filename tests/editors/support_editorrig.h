#pragma once

#include <db/Database.h>
#include <editors/EditorForm.h>
#include <editors/EditorSession.h>
#include <link/DeviceLink.h>

#include <SimDevice.h>
#include <support/TestState.h>

#include <QList>

#include <memory>

// Link waits short enough for tests and long enough for a loaded machine.
LinkTimings EditorTestTimings();

// A simulated device on address:10001, a fresh database listing it and the link: everything an
// editor needs. session() makes the editor engine for a layout over the rig's form.
struct EditorRig {
    EditorRig(const QString &address, int family, int model, int firmware);

    // The editor engine of the layout, with IPAddress and DatabaseID set.
    EditorSession &session(const EditorLayout &layout);
    EditorServices services() { return {t.state, link, &db}; }

    // The store commands the device received since clearTraffic(), by page number.
    QList<int> storedPages() const;
    QList<int> readPages() const;
    // The value of one column of tblSensors for a port of the rig's device.
    QVariant sensorColumn(int port, const QString &column);

    QString address;
    TestState t;
    Database db;
    SimDevice device;
    DeviceLink link;
    qint64 deviceId = 0;
    EditorForm form;
    std::unique_ptr<EditorSession> editor;
    bool ready = false;
};
