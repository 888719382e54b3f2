#include "app/rtcfg_dlg.hpp"

#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "app/com_dlg.hpp"
#include "app/device_task.hpp"
#include "app/dialog_units.hpp"

// Resources of a static library are registered by hand, from the global namespace.
static void InitWindowResources() {
  Q_INIT_RESOURCE(krtcfg);
}

namespace krt::app {
namespace {

QString FromLocal(const std::string& text) {
  return QFile::decodeName(QByteArray::fromStdString(text));
}
QString FromText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CRTCFGDlg::CRTCFGDlg(UiServices& ui, SettingsStore& settings, std::unique_ptr<link::Port> port, WindowOptions options,
                     QWidget* parent)
    : QDialog(parent),
      ui_(ui),
      settings_(settings),
      discovery_(std::move(options.discovery)),
      temporary_port_(std::move(options.temporary_port)),
      port_(std::move(port)) {
  InitWindowResources();
  BuildControls();

  db_ = std::make_unique<ConfigDB>();
  link::PortResolver resolver = [this](int portNumber) { return ResolvePort(portNumber); };
  if (options.make_com) {
    com_ = options.make_com(*port_, std::move(resolver));
  } else {
    com_ = std::make_unique<link::RTCom>(*port_, std::move(resolver));
  }
  reader_ = std::make_unique<ConfigReader>(*db_, *com_);
  writer_ = std::make_unique<ConfigWriter>(*db_, *com_);
  trend_reader_ = std::make_unique<trend::TrendReader>(*com_);
  trend_writer_ = std::make_unique<trend::TrendWriter>();
  com_->port_number = temporary_port_ ? temporary_port_->port_number : ReadPersistedPort(settings_);
  com_->SetCancelFlag(&cancel_);
  com_->SetProgress([this](std::size_t bytesDone) { bytes_done_.store(bytesDone); });

  setWindowIcon(QIcon(QStringLiteral(":/krtcfg/krtcfg.png")));
  SetWindowTitle();
  RefreshView();
}

CRTCFGDlg::~CRTCFGDlg() = default;

void CRTCFGDlg::BuildControls() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  // The file name's tool tip shows even while another program is active.
  setAttribute(Qt::WA_AlwaysShowToolTips);

  const DialogUnits du(font());
  // Group boxes first, so the controls they frame lie above them.
  config_group_ = new QGroupBox(QStringLiteral("Configuration"), this);
  config_group_->setGeometry(du.Rect(12, 1, 150, 185));
  trend_group_ = new QGroupBox(QStringLiteral("Short trend data"), this);
  trend_group_->setGeometry(du.Rect(12, 193, 150, 36));
  StyleGroupBox(config_group_, du);
  StyleGroupBox(trend_group_, du);

  source_ = new QLineEdit(this);
  source_->setGeometry(du.Rect(24, 12, 126, 12));
  source_->setReadOnly(true);
  source_->setAlignment(Qt::AlignCenter);
  source_->setFrame(true);
  source_->setFocusPolicy(Qt::ClickFocus);

  model_label_ = new QLabel(this);
  model_label_->setGeometry(du.Rect(24, 30, 126, 8));
  model_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lcd_label_ = new QLabel(this);
  lcd_label_->setGeometry(du.Rect(24, 45, 126, 8));
  lcd_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  const auto button = [this, &du](const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setGeometry(du.Rect(x, y, w, h));
    return b;
  };
  upload_ = button("Upload from device", 24, 60, 126, 18);
  read_cfg_ = button("Read CFG file", 24, 84, 126, 18);
  download_ = button("Download to device", 24, 108, 126, 18);
  write_cfg_ = button("Write to CFG file", 24, 132, 126, 18);
  export_csv_ = button("Export to CSV", 24, 156, 126, 18);
  upload_trend_ = button("Upload and export to CSV", 24, 204, 126, 18);
  port_setting_ = button("Port setting", 18, 234, 48, 16);
  finish_ = button("Finish", 108, 234, 48, 16);
  upload_->setDefault(true);

  const std::pair<QWidget*, int> ids[] = {
      {upload_, kIdUpload},
      {read_cfg_, kIdReadCfg},
      {download_, kIdDownload},
      {write_cfg_, kIdWriteCfg},
      {export_csv_, kIdExportCsv},
      {upload_trend_, kIdUploadTrend},
      {port_setting_, kIdPortSetting},
      {finish_, kIdFinish},
      {config_group_, kIdConfigGroup},
      {model_label_, kIdModelLabel},
      {trend_group_, kIdTrendGroup},
      {source_, kIdSource},
      {lcd_label_, kIdLcdLabel},
  };
  for (const auto& [widget, id] : ids) widget->setObjectName(QString::number(id));

  setTabOrder(port_setting_, finish_);
  setTabOrder(finish_, upload_);
  setTabOrder(upload_, read_cfg_);
  setTabOrder(read_cfg_, download_);
  setTabOrder(download_, write_cfg_);
  setTabOrder(write_cfg_, export_csv_);
  setTabOrder(export_csv_, upload_trend_);

  connect(upload_, &QPushButton::clicked, this, &CRTCFGDlg::OnUploadFromDevice);
  connect(read_cfg_, &QPushButton::clicked, this, &CRTCFGDlg::OnReadCfgFile);
  connect(download_, &QPushButton::clicked, this, &CRTCFGDlg::OnDownloadToDevice);
  connect(write_cfg_, &QPushButton::clicked, this, &CRTCFGDlg::OnWriteCfgFile);
  connect(export_csv_, &QPushButton::clicked, this, &CRTCFGDlg::OnExportCsv);
  connect(upload_trend_, &QPushButton::clicked, this, &CRTCFGDlg::OnUploadTrend);
  connect(port_setting_, &QPushButton::clicked, this, &CRTCFGDlg::OnPortSetting);
  connect(finish_, &QPushButton::clicked, this, &CRTCFGDlg::OnFinish);

  setFixedSize(du.Size(175, 259));
}

void CRTCFGDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) upload_->setFocus(Qt::OtherFocusReason);
}

QWidget* CRTCFGDlg::Control(int id) const {
  return findChild<QWidget*>(QString::number(id));
}
QPushButton* CRTCFGDlg::Button(int id) const {
  return findChild<QPushButton*>(QString::number(id));
}

void CRTCFGDlg::SetWindowTitle() {
  setWindowTitle(QString::fromStdString(WindowTitle()));
}

void CRTCFGDlg::RefreshView() {
  switch (db_->GetState()) {
    case FromFile: {
      ShowModelInfo();
      const std::string path = db_->GetFileName();
      source_->setText(FromLocal(FileNamePart(path)));
      source_->setToolTip(FromLocal(path));
      SetDataButtons(true);
      break;
    }
    case FromDevice:
      ShowModelInfo();
      source_->setText(FromText(Text(TextId::kUploadedFromDevice)));
      source_->setToolTip(QString());
      SetDataButtons(true);
      break;
    default:
      ClearModelInfo();
      source_->setText(FromText(Text(TextId::kNoData)));
      source_->setToolTip(QString());
      SetDataButtons(false);
      break;
  }
}

void CRTCFGDlg::ShowModelInfo() {
  int major = 0;
  int minor = 0;
  db_->GetLcdVersion(major, minor);
  model_label_->setEnabled(true);
  model_label_->setText(QString::fromStdString(ModelLabel(db_->GetModelIndex())));
  lcd_label_->setEnabled(true);
  lcd_label_->setText(QString::fromStdString(LcdVersionLabel(major, minor)));
}

void CRTCFGDlg::ClearModelInfo() {
  model_label_->setEnabled(false);
  model_label_->setText(FromText(Text(TextId::kDeviceModelPrefix)));
  lcd_label_->setEnabled(false);
  lcd_label_->setText(FromText(Text(TextId::kLcdVersionPrefix)));
}

void CRTCFGDlg::SetDataButtons(bool enabled) {
  download_->setEnabled(enabled);
  write_cfg_->setEnabled(enabled);
  export_csv_->setEnabled(enabled);
}

void CRTCFGDlg::ShowFailure(TextId firstLine, const std::string& reason, bool portFailed) {
  std::string text = FailureMessage(firstLine, reason);
  if (portFailed &&
      (com_->LastPortFailure() == link::PortFailure::kPermission || IsPermissionProblem(com_->LastPortError())))
    text += "\n\n" + PermissionHint();
  ui_.ShowError(text);
}

std::string CRTCFGDlg::ResolvePort(int portNumber) {
  if (temporary_port_ && portNumber == temporary_port_->port_number) return temporary_port_->device_path;
  return link::ResolvePortNumber(portNumber, settings_, discovery_);
}

int CRTCFGDlg::RunOnDevice(QPushButton* command, const std::function<int()>& operation) {
  bytes_done_.store(0);
  return RunDeviceOperation(this, command->text(), cancel_, bytes_done_, operation);
}

void CRTCFGDlg::OnUploadFromDevice() {
  const int result = RunOnDevice(upload_, [this] { return reader_->Upload(); });
  if (result < 0) {
    ShowFailure(TextId::kFailedToRead, ConfigErrorText(result), result == -6);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kReadingCompleted)));
  }
  RefreshView();
}

void CRTCFGDlg::OnReadCfgFile() {
  const std::optional<std::string> path =
      ui_.OpenFile(std::string(Text(TextId::kParameterFilter)), kCfgOpenInitialName);
  if (!path) return;
  const int result = reader_->ReadCfgFile(*path);
  if (result < 0) {
    ShowFailure(TextId::kFailedToRead, ConfigErrorText(result), false);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kReadingCompleted)));
  }
  RefreshView();
}

void CRTCFGDlg::OnDownloadToDevice() {
  int deviceError = 0;
  const int result = RunOnDevice(download_, [this, &deviceError] { return writer_->Download(deviceError); });
  if (result < 0) {
    ShowFailure(TextId::kFailedToWrite, WriteErrorText(result, deviceError), result == -4);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kWritingCompleted)));
  }
}

void CRTCFGDlg::OnWriteCfgFile() {
  const std::optional<std::string> path = ChooseSavePath(ui_, std::string(Text(TextId::kParameterFilter)),
                                                         kCfgExtension, DefaultCfgName(db_->GetModelIndex()));
  if (!path) return;
  const int result = writer_->WriteCfgFile(*path);
  if (result < 0) {
    ShowFailure(TextId::kFailedToWrite, WriteErrorText(result, 0), false);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kWritingCompleted)));
  }
}

void CRTCFGDlg::OnExportCsv() {
  const std::optional<std::string> path =
      ChooseSavePath(ui_, kCsvFilter, kCsvExtension, DefaultCsvName(db_->GetModelIndex()));
  if (!path) return;
  const int result = writer_->ExportCsv(*path);
  if (result < 0) {
    ShowFailure(TextId::kFailedToWrite, WriteErrorText(result, 0), false);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kWritingCompleted)));
  }
}

void CRTCFGDlg::OnUploadTrend() {
  Bytes record;
  int modelIndex = 0;
  std::string baseName;
  const int result = RunOnDevice(upload_trend_, [this, &record, &modelIndex, &baseName] {
    return trend_reader_->Read(record, modelIndex, baseName);
  });
  if (result < 0) {
    ShowFailure(TextId::kFailedToRead, TrendReadErrorText(result), result == -1);
    return;
  }
  const std::optional<std::string> path = ChooseSavePath(ui_, kCsvFilter, kCsvExtension, baseName + kCsvExtension);
  if (!path) return;
  const int written = trend_writer_->Write(record, *path, static_cast<unsigned int>(modelIndex));
  if (written < 0) {
    ShowFailure(TextId::kFailedToWrite, TrendWriteErrorText(written), false);
  } else {
    ui_.ShowInformation(std::string(Text(TextId::kWritingCompleted)));
  }
}

void CRTCFGDlg::OnPortSetting() {
  std::vector<std::string> labels = link::PortComboLabels(settings_, discovery_);
  for (std::size_t i = labels.size(); i < link::kPortLabelCount; ++i)
    labels.push_back("COM" + std::to_string(i + 1) + ":");
  labels.resize(link::kPortLabelCount);
  if (temporary_port_ && temporary_port_->port_number >= 1 && temporary_port_->port_number <= link::kPortLabelCount) {
    const int n = temporary_port_->port_number;
    labels[static_cast<std::size_t>(n - 1)] = "COM" + std::to_string(n) + ":" + temporary_port_->label;
  }
  CComDlg dialog(*com_, labels, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // The temporary port means nothing in a later run; the stored choice stays.
  if (temporary_port_ && com_->port_number == temporary_port_->port_number) return;
  WritePersistedPort(settings_, com_->port_number);
}

void CRTCFGDlg::OnFinish() {
  done(kIdFinish);
}

}  // namespace krt::app
