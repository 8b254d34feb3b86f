#include "report/TransferCheckWindow.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/MessageBox.h"
#include "report/TransferCheckText.h"

namespace {

// The statement's own row colours, so a failure looks the same in both.
const QColor failureColour(0xff, 0xcc, 0xcc);
const QColor matchColour(0xcc, 0xff, 0xcc);

void showFiles(QTableWidget& table, std::vector<CheckedFile> files) {
    std::stable_partition(files.begin(), files.end(),
                          [](const CheckedFile& file) { return isFailure(file.verdict); });
    table.setRowCount(static_cast<int>(files.size()));
    for (int row = 0; row < table.rowCount(); ++row) {
        const CheckedFile& file = files[static_cast<std::size_t>(row)];
        const QBrush background(isFailure(file.verdict) ? failureColour : matchColour);
        const QString cells[] = {file.name, verdictText(file), file.list};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setBackground(background);
            table.setItem(row, column, item);
        }
    }
    table.resizeColumnsToContents();
}

}  // namespace

TransferCheckWindow::TransferCheckWindow(QWidget* parent)
    : QDialog(parent),
      chooseButton_(new QPushButton(QStringLiteral("Выбрать папку..."), this)),
      folderLabel_(new QLabel(QStringLiteral("Папка с перенесёнными ответами не выбрана"), this)),
      table_(new QTableWidget(0, 3, this)),
      progress_(new QProgressBar(this)),
      cancelButton_(new QPushButton(QStringLiteral("Отменить"), this)),
      total_(new QLabel(this)) {
    total_->setObjectName(QStringLiteral("total"));
    setWindowTitle(QStringLiteral("Проверить перенесённые ответы"));
    resize(760, 480);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Файл"), QStringLiteral("Результат"), QStringLiteral("Список")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    total_->setWordWrap(true);
    total_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(chooseButton_);
    top->addWidget(folderLabel_, 1);
    auto* running = new QHBoxLayout;
    running->addWidget(progress_, 1);
    running->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(running);
    layout->addWidget(total_);
    setChecking(false);

    connect(chooseButton_, &QPushButton::clicked, this, &TransferCheckWindow::chooseFolder);
    connect(cancelButton_, &QPushButton::clicked, &check_, &BackgroundTransferCheck::cancel);
    connect(&check_, &BackgroundTransferCheck::progressed, this,
            &TransferCheckWindow::showProgress);
    connect(&check_, &BackgroundTransferCheck::finished, this, &TransferCheckWindow::showResult);
}

void TransferCheckWindow::chooseFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Папка с перенесёнными ответами"),
                                          folder_.isEmpty() ? QDir::currentPath() : folder_);
    if (!folder.isEmpty()) {
        checkFolder(folder);
    }
}

void TransferCheckWindow::checkFolder(const QString& folder) {
    if (check_.isRunning()) {
        return;
    }
    folder_ = folder;
    folderLabel_->setText(QDir::toNativeSeparators(folder));
    table_->setRowCount(0);
    total_->clear();
    progress_->setRange(0, 0);  // busy until the lists are read
    setChecking(true);
    check_.start(folder);
}

void TransferCheckWindow::showProgress(qsizetype filesDone, qsizetype fileCount) {
    progress_->setRange(0, static_cast<int>(fileCount));
    progress_->setValue(static_cast<int>(filesDone));
}

void TransferCheckWindow::showResult(const TransferCheckResult& result) {
    setChecking(false);
    if (result.status == CheckStatus::Checked) {
        showFiles(*table_, result.files);
        const bool allMatch =
            std::none_of(result.files.begin(), result.files.end(),
                         [](const CheckedFile& file) { return isFailure(file.verdict); });
        total_->setStyleSheet(allMatch ? QString() : QStringLiteral("color: #c00000"));
        total_->setText(checkTotalLine(result.files));
        return;
    }
    const QString why = checkFailureLines(result, QDir::toNativeSeparators(folder_)).join('\n');
    total_->setStyleSheet(QStringLiteral("color: #c00000"));
    total_->setText(why.left(1).toUpper() + why.mid(1));
    if (result.status != CheckStatus::Cancelled) {
        showMessage(this, QStringLiteral("Проверка не выполнена:\n") + why,
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
    }
}

void TransferCheckWindow::setChecking(bool checking) {
    chooseButton_->setEnabled(!checking);
    progress_->setVisible(checking);
    cancelButton_->setVisible(checking);
}
