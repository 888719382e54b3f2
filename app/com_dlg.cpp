#include "app/com_dlg.hpp"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/dialog_units.hpp"

namespace krt::app {

CComDlg::CComDlg(link::RTCom& com, const std::vector<std::string>& labels, QWidget* parent)
    : QDialog(parent), com_(com) {
  setWindowTitle(QStringLiteral("Port setting"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  const DialogUnits du(font());
  group_ = new QGroupBox(QStringLiteral("COM port number"), this);
  group_->setGeometry(du.Rect(6, 2, 240, 36));
  StyleGroupBox(group_, du);

  port_list_ = new QComboBox(this);
  port_list_->setObjectName(QStringLiteral("1013"));
  port_list_->setEditable(false);
  port_list_->setMaxVisibleItems(10);
  // The list opens downwards from the box, so its height is that of the closed box.
  const QRect listRect = du.Rect(12, 18, 228, 18);
  port_list_->setGeometry(listRect.x(), listRect.y(), listRect.width(),
                          std::max(port_list_->sizeHint().height(), du.Y(12)));
  for (const std::string& label : labels) port_list_->addItem(QString::fromStdString(label));

  ok_button_ = new QPushButton(QStringLiteral("OK"), this);
  ok_button_->setGeometry(du.Rect(60, 48, 50, 14));
  ok_button_->setDefault(true);
  cancel_button_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_button_->setGeometry(du.Rect(144, 48, 50, 14));
  connect(ok_button_, &QPushButton::clicked, this, &CComDlg::accept);
  connect(cancel_button_, &QPushButton::clicked, this, &CComDlg::reject);

  setTabOrder(port_list_, ok_button_);
  setTabOrder(ok_button_, cancel_button_);
  setFixedSize(du.Size(256, 71));

  port_list_->setCurrentIndex(EntryForPort(com_.port_number, port_list_->count()));
}

int CComDlg::EntryForPort(int portNumber, int entryCount) {
  if (portNumber < 1) return -1;
  const int entry = portNumber <= 20 ? portNumber - 1 : 0;
  return entry < entryCount ? entry : -1;
}

void CComDlg::accept() {
  com_.port_number = port_list_->currentIndex() + 1;
  QDialog::accept();
}

}  // namespace krt::app
