#include "session/SessionSetupDialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QListView>
#include <QProxyStyle>
#include <algorithm>
#include <array>

#include "base/MessageBox.h"
#include "base/ProcessExit.h"
#include "session/SiteList.h"
#include "ui_SessionSetupDialog.h"

namespace {

const QString siteListFileName = QStringLiteral("ppe.txt");
const QString manualSiteItem = QStringLiteral("---- - Указать код ППЭ вручную");
const QString manualSiteMarker = QStringLiteral("----");

struct Subject {
    QString name;
    QString code;
};
const std::array<Subject, 4> subjects = {{
    {QStringLiteral("английский язык"), QStringLiteral("eng")},
    {QStringLiteral("немецкий язык"), QStringLiteral("nem")},
    {QStringLiteral("французский язык"), QStringLiteral("fra")},
    {QStringLiteral("испанский язык"), QStringLiteral("isp")},
}};

const QString fillInCaption = QStringLiteral("Заполните поле");
const QString classroomDigitsText =
    QStringLiteral("Номер аудитории должен быть числовым от 001 до 999");

// Drops a combo box's list below the box at the box's width, as a drop-down list does, rather
// than as a popup sized by measuring every item.
class DropDownListStyle : public QProxyStyle {
public:
    explicit DropDownListStyle(QObject* parent) { setParent(parent); }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// What keeps a site list file that is there from being read; the code can still be typed.
QString siteListProblem(SiteList::Status status) {
    switch (status) {
        case SiteList::Status::NotAFile:
            return QStringLiteral(
                "Файл ppe.txt, содержащий список ППЭ, не прочитан: это не обычный файл, а папка, "
                "канал или устройство.\n\nУкажите код ППЭ вручную.");
        case SiteList::Status::TooLarge:
            return QStringLiteral(
                "Файл ppe.txt, содержащий список ППЭ, не прочитан: он больше 16 МБ, а список ППЭ "
                "намного меньше.\n\nУкажите код ППЭ вручную.");
        case SiteList::Status::NoConverter:
            return QStringLiteral(
                "Файл ppe.txt, содержащий список ППЭ, не прочитан: в системе нет преобразователя "
                "кодировки windows-1251.\n\nУкажите код ППЭ вручную.");
        case SiteList::Status::Read:
        case SiteList::Status::Unreadable:
            break;
    }
    return {};
}

bool isAsciiDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A code of `length` digits, not all of them zero: the ranges start at 0001 and 001.
bool isCode(QStringView text, qsizetype length) {
    return text.size() == length && isAsciiDigits(text) &&
           text != QString(length, QLatin1Char('0'));
}

}  // namespace

SessionSetupDialog::SessionSetupDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SessionSetupDialog>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    keepTemplateSizes(*this);
    // The manual site label is followed on its line by its edit, which must not cover it.
    const int afterLabel = ui_->manualSiteLabel->geometry().right() + 6;
    if (ui_->manualSiteEdit->x() < afterLabel) {
        ui_->manualSiteEdit->move(afterLabel, ui_->manualSiteEdit->y());
    }
    controls_ = ControlMap<SetupControlId>(*this);

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    connect(ui_->confirmButton, &QPushButton::clicked, this, &SessionSetupDialog::accept);
    connect(ui_->subjectList, &QListWidget::itemDoubleClicked, this, &SessionSetupDialog::accept);

    fillSiteBox();
    // Escape and Alt+F4 pressed while the site list is dropped down go to the list's popup view,
    // which the box makes only on demand: watch it here, whatever made it.
    ui_->siteBox->view()->installEventFilter(this);
    ui_->siteBox->view()->window()->installEventFilter(this);
    ui_->manualSiteEdit->setEnabled(false);
    fillSubjectList();
    connect(ui_->siteBox, &QComboBox::currentIndexChanged, this,
            &SessionSetupDialog::onSiteChanged);
    // The template's first tab stop, which the form's widget order would not make first.
    ui_->confirmButton->setFocus();
}

SessionSetupDialog::~SessionSetupDialog() = default;

void SessionSetupDialog::fillSiteBox() {
    QComboBox* siteBox = ui_->siteBox;
    // A site list may hold many thousands of items: lay them out without measuring each one.
    siteBox->setStyle(new DropDownListStyle(this));
    if (auto* list = qobject_cast<QListView*>(siteBox->view())) {
        list->setUniformItemSizes(true);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    siteBox->addItem(manualSiteItem);
    const SiteList sites(siteListFileName);
    if (sites.status() == SiteList::Status::Unreadable) {
        showMessage(this, QStringLiteral("Файл ppe.txt, содержащий список ППЭ, не найден."),
                    QStringLiteral("Не найден файл ppe.txt"), MessageIcon::None,
                    MessageButtons::Ok);
    } else if (sites.status() != SiteList::Status::Read) {
        showMessage(this, siteListProblem(sites.status()),
                    QStringLiteral("Не прочитан файл ppe.txt"), MessageIcon::Exclamation,
                    MessageButtons::Ok);
    }
    siteBox->addItems(sites.items());
    // The list starts with nothing chosen, so no site is taken without the organiser's choice.
    siteBox->setCurrentIndex(-1);
}

void SessionSetupDialog::fillSubjectList() {
    for (const Subject& subject : subjects) {
        ui_->subjectList->addItem(subject.name);
    }
}

void SessionSetupDialog::onSiteChanged() {
    QLineEdit* manualSite = ui_->manualSiteEdit;
    manualSite->clear();
    const bool manual = ui_->siteBox->currentText().startsWith(manualSiteMarker);
    manualSite->setEnabled(manual);
    if (manual) {
        manualSite->setFocus();
    }
}

QString SessionSetupDialog::chosenSiteText() const {
    const QString manual = ui_->manualSiteEdit->text();
    return manual.size() == 4 ? manual : ui_->siteBox->currentText();
}

void SessionSetupDialog::accept() {
    const QString siteText = chosenSiteText();
    const QStringView siteCode = QStringView(siteText).left(4);
    if (!isCode(siteCode, 4)) {
        showMessage(this,
                    QStringLiteral("Выберите ППЭ из списка или укажите вручную 4-значный "
                                   "числовой КодППЭ 0001-9999,\nвыбрав самый нижний пункт 'ППЭ "
                                   "отсутствует в списке'"),
                    QStringLiteral("Введите данные"), MessageIcon::Exclamation, MessageButtons::Ok);
        ui_->siteBox->setFocus();
        return;
    }
    const QList<QListWidgetItem*> chosenSubjects = ui_->subjectList->selectedItems();
    if (chosenSubjects.isEmpty()) {
        showMessage(this, QStringLiteral("Выберите предмет из списка"), QString(),
                    MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    const QString classroom = ui_->classroomEdit->text();
    if (classroom.size() != 3) {
        showMessage(this, QStringLiteral("Укажите номер аудитории от 001 до 999"), fillInCaption,
                    MessageIcon::Exclamation, MessageButtons::Ok);
        ui_->classroomEdit->setFocus();
        return;
    }
    if (!isCode(classroom, 3)) {
        showMessage(this, classroomDigitsText, fillInCaption, MessageIcon::Exclamation,
                    MessageButtons::Ok);
        ui_->classroomEdit->setFocus();
        return;
    }
    codes_.site = siteCode.toString();
    codes_.classroom = classroom;
    codes_.subject = subjects.at(ui_->subjectList->row(chosenSubjects.front())).code;
    QDialog::accept();
}

void SessionSetupDialog::reject() {}

void SessionSetupDialog::askToLeave(const QString& caption) {
    const MessageAnswer answer = showMessage(this, QStringLiteral("Выйти из программы?"), caption,
                                             MessageIcon::Question, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
        exitProcess(1);
    }
}

void SessionSetupDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    exitProcess(1);
}

bool SessionSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F4 && key->modifiers().testFlag(Qt::AltModifier)) {
        askToLeave(QStringLiteral("ALT+F4"));
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        askToLeave(QStringLiteral("ESC"));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
