// The Qt layer of the console: prompter, progress dialog, command table,
// help and launcher.

#include "harrowgui/harrowgui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <QVBoxLayout>

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

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CProgressDlg");
  setWindowTitle("Progress");
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  text_->setObjectName("ProgressText");
  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("ProgressCancel");
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
}

void ProgressDialog::Begin(const std::string& text, int range_max) {
  cancelled_ = false;
  text_->setText(QString::fromStdString(text));
  bar_->setRange(0, range_max);
  bar_->setValue(0);
  show();
  QApplication::processEvents();
}

void ProgressDialog::Step(int amount) {
  bar_->setValue(std::min(bar_->maximum(), bar_->value() + amount));
  QApplication::processEvents();
}

bool ProgressDialog::CancelRequested() {
  QApplication::processEvents();
  return cancelled_;
}

void ProgressDialog::End() { hide(); }

int ProgressDialog::value() const { return bar_->value(); }

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
  return QDir(HelpDirectory()).filePath(file + "/" + topic);
}

bool HelpService::Show(const QString& file, const QString& topic) {
  QString path = TopicPath(file + "::" + topic);
  if (path.isEmpty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool Launcher::Start(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

}  // namespace harrowgui
