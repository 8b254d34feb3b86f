#include "app/LevelMeterWidget.h"

#include <QPainter>
#include <algorithm>

namespace {

constexpr float kLowestDb = -60.0F;
// A peak this close to full scale has probably been clipped.
constexpr float kClipDb = -0.5F;
constexpr int kClipHoldUpdates = 20;  // two seconds at ten updates a second
constexpr int kClipMarkWidth = 8;

}  // namespace

LevelMeterWidget::LevelMeterWidget(QWidget* parent) : QWidget(parent) {
    setToolTip(QStringLiteral("Уровень сигнала с микрофона"));
}

void LevelMeterWidget::showLevel(PcmLevel level) {
    level_ = level;
    showsLevel_ = true;
    clipHold_ = level.peakDb >= kClipDb ? kClipHoldUpdates : std::max(0, clipHold_ - 1);
    update();
}

void LevelMeterWidget::showNothing() {
    if (showsLevel_) {
        showsLevel_ = false;
        clipHold_ = 0;
        update();
    }
}

void LevelMeterWidget::setAlarm(bool on) {
    if (alarm_ != on) {
        alarm_ = on;
        update();
    }
}

int LevelMeterWidget::position(float db, int width) const {
    const float fraction = (std::clamp(db, kLowestDb, 0.0F) - kLowestDb) / -kLowestDb;
    return static_cast<int>(fraction * static_cast<float>(width));
}

void LevelMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    const int barWidth = width() - kClipMarkWidth - 2;
    const QColor alarmRed(210, 40, 40);

    painter.fillRect(rect(), alarm_ ? QColor(255, 215, 215) : QColor(225, 225, 225));
    if (showsLevel_) {
        painter.fillRect(QRect(1, 1, position(level_.rmsDb, barWidth), height() - 2),
                         alarm_ ? alarmRed : QColor(60, 170, 75));
        const int peak = 1 + position(level_.peakDb, barWidth);
        painter.setPen(alarm_ ? alarmRed.darker() : QColor(20, 100, 35));
        painter.drawLine(peak, 1, peak, height() - 2);
    } else {
        QFont small = font();
        small.setPixelSize(std::max(8, height() - 3));
        painter.setFont(small);
        painter.setPen(alarm_ ? alarmRed : QColor(110, 110, 110));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("нет сигнала"));
    }
    const QRect clipMark(width() - kClipMarkWidth - 1, 1, kClipMarkWidth, height() - 2);
    painter.fillRect(clipMark, clipHold_ > 0 ? QColor(230, 0, 0) : QColor(170, 170, 170));
    painter.setPen(alarm_ ? alarmRed : QColor(140, 140, 140));
    painter.drawRect(frame);
}
