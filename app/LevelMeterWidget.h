// A horizontal input level bar in dBFS: the RMS as the bar, the peak as a line, a clip mark at
// the right end; grey with "нет сигнала" when there is no level to show, red while alarmed.
#pragma once

#include <QWidget>

#include "audio/PcmLevel.h"

class LevelMeterWidget : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeterWidget(QWidget* parent = nullptr);

    void showLevel(PcmLevel level);
    void showNothing();
    void setAlarm(bool on);

    bool showsLevel() const { return showsLevel_; }
    bool alarmShown() const { return alarm_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where `db` falls along the bar, 0 to width.
    int position(float db, int width) const;

    PcmLevel level_;
    bool showsLevel_ = false;
    bool alarm_ = false;
    // Updates left for which the clip mark stays lit.
    int clipHold_ = 0;
};
