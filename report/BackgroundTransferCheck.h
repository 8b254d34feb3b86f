// Runs the check of a transferred set on a thread of its own, so the window that asked stays
// responsive; tells its progress and result on the window's thread and can be cancelled.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "report/TransferCheck.h"

class BackgroundTransferCheck : public QObject {
    Q_OBJECT

public:
    explicit BackgroundTransferCheck(QObject* parent = nullptr) : QObject(parent) {}
    // Cancels a run in progress and waits for its thread (at most the file in hand).
    ~BackgroundTransferCheck() override;

    // Starts checking `folder`; only while no run is in progress.
    void start(const QString& folder);
    // The run stops before its next file and finishes as Cancelled.
    void cancel() { cancelled_ = true; }
    bool isRunning() const { return thread_ != nullptr; }

signals:
    void progressed(qsizetype filesDone, qsizetype fileCount);
    void finished(const TransferCheckResult& result);

private:
    void finishRun(const TransferCheckResult& result);

    std::unique_ptr<QThread> thread_;
    std::atomic<bool> cancelled_{false};
};
