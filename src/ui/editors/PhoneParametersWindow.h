#pragma once

#include "EditorWindow.h"

#include <memory>

// frmRX705PhoneParameters: the contact numbers, Local ID, rings and call-out timing of an RX705
// (pages 8 to 13), with Save, Refresh, Defaults and Close.
class PhoneParametersWindow final : public EditorWindow {
    Q_OBJECT
public:
    PhoneParametersWindow(const EditorServices &services, QWidget *parent = nullptr);

    // The caption, set by the opener: "Phone Parameters for server: " and the device's name.
    void setServerName(const QString &caption) { setWindowTitle(caption); }
    QString ServerName() const { return windowTitle(); }

    void build();

protected:
    // The download runs with the buttons left enabled.
    void onFirstShow() override { m_session.GetLimits(); }
};

std::unique_ptr<EditorWindow> MakePhoneParametersWindow(const EditorServices &services,
                                                        QWidget *parent = nullptr);
