#pragma once
// Device exchanges take up to tens of seconds. They run on a worker thread
// while a modal progress dialog keeps the window painted and closed to other
// commands; Cancel raises the protocol's cancel flag.

#include <QProgressDialog>
#include <atomic>
#include <cstddef>
#include <functional>

#include "link/transfer.hpp"

class QPushButton;

namespace krt::app {

class OperationProgressDialog : public QProgressDialog {
  Q_OBJECT

 public:
  OperationProgressDialog(const QString& operationName, QWidget* parent);

  // Shows how far the current message has come.
  void ShowBytes(std::size_t bytesDone);
  // Called once when the user asks to stop.
  void ShowCancelling();
  QPushButton* CancelButton() const { return cancel_button_; }

 public slots:
  // Escape and the close box ask to cancel; the dialog itself stays until the
  // operation has really ended.
  void reject() override;

 private:
  QString operation_name_;
  QPushButton* cancel_button_;
};

// Runs `operation` on a worker thread and returns its result. While it runs,
// a modal progress dialog named `operationName` is shown over `parent`;
// its Cancel sets `cancel` to 1. `bytesDone` is read for the progress text.
int RunDeviceOperation(QWidget* parent, const QString& operationName, link::CancelFlag& cancel,
                       const std::atomic<std::size_t>& bytesDone, const std::function<int()>& operation);

}  // namespace krt::app
