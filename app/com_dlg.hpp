#pragma once
// The port selection dialog: COM1 to COM20 with the names of the ports
// present; OK puts the chosen number into the device command object.

#include <QDialog>
#include <string>
#include <vector>

#include "link/rt_com.hpp"

class QComboBox;
class QGroupBox;
class QPushButton;

namespace krt::app {

class CComDlg : public QDialog {
  Q_OBJECT

 public:
  // `labels`: the drop-down entries, COM1 first (see link::PortComboLabels).
  CComDlg(link::RTCom& com, const std::vector<std::string>& labels, QWidget* parent = nullptr);

  QComboBox* PortList() const { return port_list_; }
  QPushButton* OkButton() const { return ok_button_; }
  QPushButton* CancelButton() const { return cancel_button_; }

  // The entry the dialog selects for a port number; -1 for none.
  static int EntryForPort(int portNumber, int entryCount);

 public slots:
  void accept() override;

 private:
  link::RTCom& com_;
  QGroupBox* group_;
  QComboBox* port_list_;
  QPushButton* ok_button_;
  QPushButton* cancel_button_;
};

}  // namespace krt::app
