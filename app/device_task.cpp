#include "app/device_task.hpp"

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <thread>

namespace krt::app {

OperationProgressDialog::OperationProgressDialog(const QString& operationName, QWidget* parent)
    : QProgressDialog(parent),
      operation_name_(operationName),
      cancel_button_(new QPushButton(QStringLiteral("Cancel"))) {
  setWindowTitle(operationName);
  setLabelText(operationName + QStringLiteral("\u2026"));
  setCancelButton(cancel_button_);
  // A busy bar: the length of an exchange is not known in advance.
  setRange(0, 0);
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
  setWindowModality(Qt::ApplicationModal);
  // By default Cancel hides the dialog at once; it must stay until the worker ends.
  disconnect(this, &QProgressDialog::canceled, this, &QProgressDialog::cancel);
  connect(this, &QProgressDialog::canceled, this, &OperationProgressDialog::ShowCancelling);
  setMinimumWidth(fontMetrics().averageCharWidth() * 40);
}

void OperationProgressDialog::ShowBytes(std::size_t bytesDone) {
  if (!cancel_button_->isEnabled()) return;
  if (bytesDone == 0) {
    setLabelText(operation_name_ + QStringLiteral("\u2026"));
  } else {
    setLabelText(operation_name_ + QStringLiteral("\u2026 (%1 bytes)").arg(bytesDone));
  }
}

void OperationProgressDialog::ShowCancelling() {
  cancel_button_->setEnabled(false);
  setLabelText(QStringLiteral("Cancelling\u2026"));
}

void OperationProgressDialog::reject() {
  emit canceled();
}

int RunDeviceOperation(QWidget* parent, const QString& operationName, link::CancelFlag& cancel,
                       const std::atomic<std::size_t>& bytesDone, const std::function<int()>& operation) {
  cancel.store(0);
  OperationProgressDialog dialog(operationName, parent);
  QObject::connect(&dialog, &QProgressDialog::canceled, [&cancel] {
    cancel.store(1);
    cancel.notify_all();
  });

  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, &dialog, [&dialog, &bytesDone] { dialog.ShowBytes(bytesDone.load()); });
  ticker.start(100);

  QEventLoop loop;
  int result = 0;
  dialog.show();
  std::thread worker([&] {
    result = operation();
    // Queued: the loop quits on its own thread once it runs again.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();

  ticker.stop();
  QObject::disconnect(&dialog, nullptr, nullptr, nullptr);
  dialog.hide();
  return result;
}

}  // namespace krt::app
