#pragma once

#include "EditorWindow.h"

class QGroupBox;
class QVBoxLayout;

// The editor of a model with sensors: the sensor table, the notes frame and, where the model
// has calibration, the calibration frame, with the Save, Refresh, Notes, Cal and Close buttons.
// Models add their own controls through the two hooks. Made by MakeModelEditor(), which calls
// build() once the object is complete.
class SensorEditorWindow : public EditorWindow {
    Q_OBJECT
public:
    using EditorWindow::EditorWindow;

    // Builds the window; the hooks of the model run here.
    void build();

protected:
    // Controls below the sensor table (options, battery voltage, alarm configuration).
    virtual void addExtras(QWidget *parent, QVBoxLayout *column);
    // Controls of the calibration frame below its rows (the RX705's filter settings).
    virtual void addCalibrationExtras(QWidget *frame, QVBoxLayout *column);
    // Called after the form is bound.
    virtual void afterBuild() {}

    // An option pair name_0 / name_1 in a frame with the two captions.
    QGroupBox *optionPair(const QString &name, const QString &title, const QString &first,
                          const QString &second, QWidget *parent);

private:
    QGroupBox *buildCalibrationFrame(QWidget *parent);
    void connectButtons();
};
