// The Qt layer of the console: prompter, progress dialog, command table,
// help and launcher.

#include "harrowgui/harrowgui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QVBoxLayout>

#include <algorithm>

#include "os/install_dir.h"

namespace harrowgui {

int QtPrompter::Ask(const std::string& text, admclient::PromptIcon icon,
                    admclient::PromptButtons buttons, int default_answer) {
  QMessageBox box(parent_);
  box.setObjectName("PromptBox");
  box.setWindowTitle("Harrowline Compact");
  box.setText(QString::fromStdString(text));
  switch (icon) {
    case admclient::PromptIcon::kInformation: box.setIcon(QMessageBox::Information); break;
    case admclient::PromptIcon::kExclamation: box.setIcon(QMessageBox::Warning); break;
    case admclient::PromptIcon::kStop: box.setIcon(QMessageBox::Critical); break;
    case admclient::PromptIcon::kQuestion: box.setIcon(QMessageBox::Question); break;
  }
  QHash<QAbstractButton*, int> answers;
  auto add = [&](QMessageBox::StandardButton button, int answer) {
    QAbstractButton* b = box.addButton(button);
    answers.insert(b, answer);
    if (answer == default_answer) box.setDefaultButton(static_cast<QPushButton*>(b));
  };
  switch (buttons) {
    case admclient::PromptButtons::kOk: add(QMessageBox::Ok, admclient::kAnswerOk); break;
    case admclient::PromptButtons::kYesNo:
      add(QMessageBox::Yes, admclient::kAnswerYes);
      add(QMessageBox::No, admclient::kAnswerNo);
      break;
    case admclient::PromptButtons::kYesNoCancel:
      add(QMessageBox::Yes, admclient::kAnswerYes);
      add(QMessageBox::No, admclient::kAnswerNo);
      add(QMessageBox::Cancel, admclient::kAnswerCancel);
      break;
  }
  box.exec();
  return answers.value(box.clickedButton(), admclient::kAnswerCancel);
}

// The dialog is a window of its own, not a child of its owner: disabling the
// owner while it is up must leave its Cancel button usable.
ProgressDialog::ProgressDialog(QWidget* owner) : QDialog(nullptr), owner_(owner) {
  setObjectName("CProgressDlg");
  setWindowTitle("Waiting for response. Please wait.");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLineEdit(this);
  text_->setObjectName("ProgressText");
  text_->setReadOnly(true);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  bar_->setTextVisible(false);
  auto* row = new QHBoxLayout();
  percent_ = new QLabel(" 0", this);
  percent_->setObjectName("ProgressPercent");
  auto* unit = new QLabel("Sec.", this);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("ProgressCancel");
  row->addWidget(percent_);
  row->addWidget(unit);
  row->addStretch(1);
  row->addWidget(cancel_);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addLayout(row);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancelled_ = true;  // the dialog stays open; the waiting code asks
    cancel_seen_ = true;
  });
}

ProgressDialog::~ProgressDialog() { Destroy(); }

void ProgressDialog::SetStatusText(const QString& text) { text_->setText(text); }

bool ProgressDialog::Create() {
  if (owner_ != nullptr && owner_->isEnabled()) {
    owner_->setEnabled(false);
    disabled_owner_ = true;
  }
  bar_->setRange(lower_, upper_);
  bar_->setValue(lower_);
  cancelled_ = false;
  cancel_seen_ = false;
  ShowPercent();
  show();
  Pump();
  return true;
}

void ProgressDialog::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper > lower ? upper : lower + 1;
  bar_->setRange(lower_, upper_);
}

void ProgressDialog::Pump() { QApplication::processEvents(QEventLoop::AllEvents); }

QString ProgressDialog::PercentText(int position) const {
  int percent = (position - lower_) * 100 / (upper_ - lower_);
  if (percent != 100) percent %= 100;
  return QString("%1 ").arg(percent);
}

void ProgressDialog::ShowPercent() {
  QString text = PercentText(bar_->value());
  if (percent_->text() != text) percent_->setText(text);
}

void ProgressDialog::StepIt() { OffsetPos(step_); }

void ProgressDialog::SetPos(int position) {
  Pump();
  bar_->setValue(std::clamp(position, lower_, upper_));
  ShowPercent();
}

void ProgressDialog::OffsetPos(int amount) { SetPos(bar_->value() + amount); }

bool ProgressDialog::IsCancelled() {
  Pump();
  bool was = cancelled_;
  cancelled_ = false;
  return was;
}

void ProgressDialog::Destroy() {
  if (disabled_owner_ && owner_ != nullptr) owner_->setEnabled(true);
  disabled_owner_ = false;
  hide();
}

void ProgressDialog::Begin(const std::string& text, int range_max) {
  SetStatusText(QString::fromStdString(text));
  SetRange(0, range_max);
  SetStep(1);
  Create();
}

void ProgressDialog::Step(int amount) { OffsetPos(amount); }

int ProgressDialog::value() const { return bar_->value(); }

QString DocumentKindName(int kind) {
  static const char* const kNames[] = {"MQSeries Network", "Channel Status", "MQSeries Queues",
                                       "MQSeries Channels", "Queue Monitor", "Channel Monitor",
                                       "ZOR", "Hex Editor"};
  if (kind < 1 || kind > 8) return "";
  return kNames[kind - 1];
}

QString DocumentTitle(const QString& title) {
  for (const char* kind : {"Channel Status", "MQSeries Network"}) {
    if (title.startsWith(kind)) return kind;
  }
  return title;
}

void SetDocument(QWidget* window, int kind, const QString& title) {
  window->setProperty("documentName", DocumentKindName(kind));
  window->setWindowTitle(DocumentTitle(title));
}

QWidget* FindDocument(QMdiArea* area, int kind, const QString& title) {
  const QString name = DocumentKindName(kind);
  if (area == nullptr || name.isEmpty()) return nullptr;
  for (QMdiSubWindow* sub : area->subWindowList()) {
    QWidget* window = sub->widget();
    if (window != nullptr && window->property("documentName").toString() == name &&
        window->windowTitle() == title) {
      return window;
    }
  }
  return nullptr;
}

QAction* CommandTable::Add(int id, const QString& text, std::function<void()> run,
                           UpdateRule rule) {
  QAction* action = actions_.value(id, nullptr);
  if (action == nullptr) {
    action = new QAction(text, this);
    action->setObjectName(QString("cmd%1").arg(id));
    actions_.insert(id, action);
  }
  if (run) connect(action, &QAction::triggered, this, [run] { run(); });
  if (rule) rules_.insert(id, std::move(rule));
  return action;
}

void CommandTable::UpdateAll() {
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (QAction* action = actions_.value(it.key(), nullptr)) it.value()(action);
  }
}

QString HelpService::HelpDirectory() {
  QByteArray install = qgetenv("HRLCOMPACT");
  if (!install.isEmpty()) return QDir(QString::fromLocal8Bit(install)).filePath("help");
  return "../help";
}

QString HelpService::TopicPath(const QString& file_and_topic) {
  int split = file_and_topic.indexOf("::");
  if (split <= 0) return "";
  QString file = file_and_topic.left(split);
  QString topic = file_and_topic.mid(split + 2);
  // The compiled help file is unpacked beside it as a directory of pages.
  if (file.endsWith(".chm", Qt::CaseInsensitive)) file.chop(4);
  while (topic.startsWith('/')) topic.remove(0, 1);
  if (topic.contains("..")) return "";
  if (topic.isEmpty()) topic = kDefaultTopic;
  return QDir(HelpDirectory()).filePath(file + "/" + topic);
}

bool HelpService::Show(const QString& file, const QString& topic) {
  QString path = TopicPath(file + "::" + topic);
  if (path.isEmpty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString Launcher::FindExecutable(const QString& name) {
  QString file = name;
  if (file.endsWith(".exe", Qt::CaseInsensitive)) file.chop(4);
  if (file.isEmpty() || file.contains('/')) return "";
  QStringList places{QDir(QString::fromStdString(os::InstallDir())).filePath("bin"),
                     QCoreApplication::applicationDirPath()};
  QString found = QStandardPaths::findExecutable(file, places);
  if (found.isEmpty()) found = QStandardPaths::findExecutable(file);
  return found;
}

bool Launcher::Start(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

}  // namespace harrowgui
