#pragma once

#include <QWidget>

class QLabel;
class QSoundEffect;
class QTimer;

// The alarm notice: a small frameless window in the corner of the screen that shows a text for
// a few seconds while "ding.wav" from the program directory plays. A machine without a sound
// device simply stays silent.
class AlarmPopup final : public QWidget {
    Q_OBJECT
public:
    static constexpr int DisplayMs = 6000;

    explicit AlarmPopup(const QString &programDirectory, QWidget *parent = nullptr);
    ~AlarmPopup() override;

    void showNotice(const QString &text);
    QString text() const;

private:
    void placeInCorner();

    QLabel *m_title;
    QLabel *m_text;
    QTimer *m_hideTimer;
    QSoundEffect *m_sound;
};
