#pragma once
// The main window: eight commands, the data source and model of the loaded
// configuration, and the objects every command works with.

#include <QDialog>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ui_services.hpp"
#include "app/window_texts.hpp"
#include "link/port.hpp"
#include "link/port_discovery.hpp"
#include "link/rt_com.hpp"
#include "store/config_db.hpp"
#include "store/config_io.hpp"
#include "store/settings.hpp"
#include "trend/trend.hpp"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace krt::app {

// A port that exists for this run only (the demo simulator's pseudo-terminal).
struct TemporaryPort {
  int port_number = 0;
  std::string device_path;
  std::string label;  // the name shown after "COMn:" in the port dialog
};

using ComFactory = std::function<std::unique_ptr<link::RTCom>(link::Port&, link::PortResolver)>;

struct WindowOptions {
  // Builds the device command object; a plain RTCom when empty.
  ComFactory make_com;
  // Where port discovery looks.
  link::DiscoveryEnv discovery;
  std::optional<TemporaryPort> temporary_port;
};

class CRTCFGDlg : public QDialog {
  Q_OBJECT

 public:
  // Control ids, also the controls' object names.
  enum ControlId {
    kIdUpload = 1001,
    kIdReadCfg = 1002,
    kIdDownload = 1003,
    kIdWriteCfg = 1004,
    kIdExportCsv = 1005,
    kIdUploadTrend = 1006,
    kIdPortSetting = 1007,
    kIdFinish = 1008,
    kIdConfigGroup = 1009,
    kIdModelLabel = 1010,
    kIdTrendGroup = 1011,
    kIdSource = 1012,
    kIdLcdLabel = 1013,
  };

  // `ui` and `settings` must outlive the window; the window owns `port`.
  CRTCFGDlg(UiServices& ui, SettingsStore& settings, std::unique_ptr<link::Port> port, WindowOptions options = {},
            QWidget* parent = nullptr);
  ~CRTCFGDlg() override;

  // Command handlers (buttons 1001 to 1008).
  void OnUploadFromDevice();
  void OnReadCfgFile();
  void OnDownloadToDevice();
  void OnWriteCfgFile();
  void OnExportCsv();
  void OnUploadTrend();
  void OnPortSetting();
  void OnFinish();

  QWidget* Control(int id) const;
  QPushButton* Button(int id) const;
  ConfigDB& Database() { return *db_; }
  link::RTCom& Com() { return *com_; }
  // The cancel flag of the running device operation (0 when none was asked to stop).
  const link::CancelFlag& CancelFlag() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void RefreshView();
  void ShowModelInfo();
  void ClearModelInfo();
  void SetDataButtons(bool enabled);
  void SetWindowTitle();
  void ShowFailure(TextId firstLine, const std::string& reason, bool portFailed);
  std::string ResolvePort(int portNumber);
  int RunOnDevice(QPushButton* command, const std::function<int()>& operation);

  UiServices& ui_;
  SettingsStore& settings_;
  link::DiscoveryEnv discovery_;
  std::optional<TemporaryPort> temporary_port_;
  link::CancelFlag cancel_{0};
  std::atomic<std::size_t> bytes_done_{0};

  // Owned for the window's whole life, in this order.
  std::unique_ptr<link::Port> port_;
  std::unique_ptr<ConfigDB> db_;
  std::unique_ptr<link::RTCom> com_;
  std::unique_ptr<ConfigReader> reader_;
  std::unique_ptr<ConfigWriter> writer_;
  std::unique_ptr<trend::TrendReader> trend_reader_;
  std::unique_ptr<trend::TrendWriter> trend_writer_;

  QGroupBox* config_group_ = nullptr;
  QGroupBox* trend_group_ = nullptr;
  QLineEdit* source_ = nullptr;
  QLabel* model_label_ = nullptr;
  QLabel* lcd_label_ = nullptr;
  QPushButton* upload_ = nullptr;
  QPushButton* read_cfg_ = nullptr;
  QPushButton* download_ = nullptr;
  QPushButton* write_cfg_ = nullptr;
  QPushButton* export_csv_ = nullptr;
  QPushButton* upload_trend_ = nullptr;
  QPushButton* port_setting_ = nullptr;
  QPushButton* finish_ = nullptr;
};

}  // namespace krt::app
