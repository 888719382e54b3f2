#include "app/rtcfg_app.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "app/demo_simulator.hpp"
#include "app/qt_ui_services.hpp"
#include "app/rtcfg_dlg.hpp"
#include "app/window_texts.hpp"
#include "store/settings.hpp"

namespace krt::app {
namespace {

// The first port number that is neither a port present nor one the port map
// keeps for a device, so the simulator hides no real port.
int FreePortNumber(SettingsStore& settings, const link::DiscoveryEnv& discovery) {
  std::vector<link::SerialPortEntry> present;
  link::CollectSerialPorts(present, settings, discovery);
  const std::map<int, std::string> map = link::ReadPortMap(settings);
  for (int n = 1; n <= link::kPortLabelCount; ++n) {
    const bool taken = map.count(n) != 0 || std::any_of(present.begin(), present.end(),
                                                        [n](const auto& entry) { return entry.port_number == n; });
    if (!taken) return n;
  }
  return link::kPortLabelCount;
}

int RunWindow(CRTCFGDlg& window, QtUiServices& ui, const AppEnvironment& env) {
  ui.SetParent(&window);
  if (env.on_window) env.on_window(window);
  window.exec();
  return 0;
}

}  // namespace

int CRTCFGApp::Run(int& argc, char** argv) {
  std::optional<QApplication> ownApp;
  if (QApplication::instance() == nullptr) ownApp.emplace(argc, argv);
  QApplication::setApplicationName(QStringLiteral("krtcfg"));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("krtcfg"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Configuration tool for KRT and RT610/611 panel controllers."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption demo(QStringLiteral("demo"),
                                QStringLiteral("Try the tool without hardware: runs the device simulator for MODEL "
                                               "(for example RT610X) and selects it as the port."),
                                QStringLiteral("MODEL"));
  parser.addOption(demo);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  parser.process(arguments);

  SettingsStore settings = env_.settings_path.empty() ? SettingsStore() : SettingsStore(env_.settings_path);
  QtUiServices ui;
  WindowOptions options;
  options.discovery = env_.discovery;

  DemoSimulator simulator;
  if (parser.isSet(demo)) {
    const QString model = parser.value(demo);
    const QString program = FindSimulator(QApplication::applicationDirPath());
    if (program.isEmpty()) {
      (void)std::fprintf(stderr, "krtcfg: --demo needs the simulator krtcfg-sim beside krtcfg or on PATH\n");
      return 2;
    }
    std::string error;
    if (!simulator.Start(program, model, &error)) {
      (void)std::fprintf(stderr, "krtcfg: %s\n", error.c_str());
      return 2;
    }
    const int number = FreePortNumber(settings, env_.discovery);
    options.temporary_port = TemporaryPort{number, simulator.DevicePath(),
                                           "krtcfg-sim " + model.toStdString() + " (" + simulator.DevicePath() + ")"};
  }

  CRTCFGDlg window(ui, settings, env_.make_port(), std::move(options));
  const int status = RunWindow(window, ui, env_);
  simulator.Stop();
  return status;
}

}  // namespace krt::app
