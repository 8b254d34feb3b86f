// The desktop's check of a transferred set: choose a folder, see each file's verdict in a table
// with the failures first and marked, and the total. The check runs off the window's thread.
#pragma once

#include <QDialog>
#include <QString>

#include "report/BackgroundTransferCheck.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

class TransferCheckWindow : public QDialog {
    Q_OBJECT

public:
    explicit TransferCheckWindow(QWidget* parent = nullptr);

    // Checks `folder` as the folder button does once a folder is chosen.
    void checkFolder(const QString& folder);
    bool isChecking() const { return check_.isRunning(); }

private:
    void chooseFolder();
    void showProgress(qsizetype filesDone, qsizetype fileCount);
    void showResult(const TransferCheckResult& result);
    void setChecking(bool checking);

    QPushButton* chooseButton_;
    QLabel* folderLabel_;
    QTableWidget* table_;
    QProgressBar* progress_;
    QPushButton* cancelButton_;
    QLabel* total_;
    QString folder_;
    BackgroundTransferCheck check_;
};
