#include "report/BackgroundTransferCheck.h"

#include <algorithm>

BackgroundTransferCheck::~BackgroundTransferCheck() {
    if (thread_) {
        cancelled_ = true;
        thread_->wait();
    }
}

void BackgroundTransferCheck::start(const QString& folder) {
    if (thread_) {
        return;
    }
    cancelled_ = false;
    thread_.reset(QThread::create([this, folder] {
        // Calls queued to this object are dropped with it; it outlives the thread.
        const auto progress = [this](qsizetype done, qsizetype count) {
            // About two hundred steps at most, however large the set: the window's queue
            // stays short.
            const qsizetype step = std::max<qsizetype>(1, count / 200);
            if (done % step == 0 || done == count) {
                QMetaObject::invokeMethod(
                    this, [this, done, count] { emit progressed(done, count); },
                    Qt::QueuedConnection);
            }
        };
        TransferCheckResult result = TransferCheck(folder).run(progress, &cancelled_);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { finishRun(result); }, Qt::QueuedConnection);
    }));
    thread_->start();
}

void BackgroundTransferCheck::finishRun(const TransferCheckResult& result) {
    thread_->wait();
    thread_.reset();
    emit finished(result);
}
