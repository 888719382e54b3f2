#include "app/qt_ui_services.hpp"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <filesystem>

#include "app/window_texts.hpp"

namespace krt::app {
namespace {

QString FromLocal(const std::string& text) {
  return QFile::decodeName(QByteArray::fromStdString(text));
}
std::string ToLocal(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
                                 QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, QString::fromLatin1(kProgramName), QString::fromStdString(text), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<std::string> RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const std::string& filter,
                                         const std::string& initialName) {
  QFileDialog dialog(parent, mode == QFileDialog::AcceptSave ? QStringLiteral("Save As") : QStringLiteral("Open"));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The window asks "Overwrite?" itself, after the extension is settled.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters(QtNameFilters(filter).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
  const std::filesystem::path initial(initialName);
  if (initial.has_parent_path()) dialog.setDirectory(FromLocal(initial.parent_path().string()));
  dialog.selectFile(FromLocal(initial.filename().string()));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return ToLocal(files.front());
}

}  // namespace

QString QtNameFilters(const std::string& filter) {
  QStringList lines;
  for (const FileFilter& entry : ParseFileFilter(filter)) {
    QString pattern = QString::fromStdString(entry.pattern);
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString description = QString::fromStdString(entry.description);
    // Qt reads the patterns from the last parentheses of the text.
    if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
      lines << description;
    } else {
      lines << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
  }
  return lines.join(QLatin1Char('\n'));
}

void QtUiServices::ShowError(const std::string& text) {
  Show(parent_, QMessageBox::Critical, text, QMessageBox::Ok);
}

void QtUiServices::ShowInformation(const std::string& text) {
  Show(parent_, QMessageBox::Information, text, QMessageBox::Ok);
}

bool QtUiServices::AskYesNo(const std::string& text) {
  return Show(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> QtUiServices::OpenFile(const std::string& filter, const std::string& initialName) {
  return RunFileDialog(parent_, QFileDialog::AcceptOpen, filter, initialName);
}

std::optional<std::string> QtUiServices::SaveFile(const std::string& filter, const std::string& initialName) {
  return RunFileDialog(parent_, QFileDialog::AcceptSave, filter, initialName);
}

bool QtUiServices::FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace krt::app
