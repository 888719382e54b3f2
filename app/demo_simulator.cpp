#include "app/demo_simulator.hpp"

#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>

namespace krt::app {
namespace {

constexpr const char* kSimulatorName = "krtcfg-sim";

bool IsProgram(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

}  // namespace

QString FindSimulator(const QString& appDir) {
  const QDir dir(appDir);
  for (const QString& candidate : {dir.filePath(QString::fromLatin1(kSimulatorName)),
                                   dir.filePath(QStringLiteral("../sim/") + QString::fromLatin1(kSimulatorName))}) {
    if (IsProgram(candidate)) return QDir::cleanPath(candidate);
  }
  return QStandardPaths::findExecutable(QString::fromLatin1(kSimulatorName));
}

DemoSimulator::~DemoSimulator() {
  Stop();
}

bool DemoSimulator::Start(const QString& program, const QString& model, std::string* error, int timeoutMs) {
  Stop();
  process_ = std::make_unique<QProcess>();
  process_->setProgram(program);
  process_->setArguments({QStringLiteral("--model"), model});
  // Its complaints (an unknown model, say) go straight to our terminal.
  process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // Should this program die without stopping it, the simulator goes too.
  process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  process_->start(QIODevice::ReadOnly);
  if (!process_->waitForStarted(timeoutMs)) {
    *error = "cannot start " + program.toStdString() + ": " + process_->errorString().toStdString();
    process_.reset();
    return false;
  }

  QElapsedTimer clock;
  clock.start();
  while (!process_->canReadLine()) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0 || !process_->waitForReadyRead(static_cast<int>(left))) {
      *error = process_->state() == QProcess::Running ? "the simulator printed no device path in time"
                                                      : "the simulator ended before it was ready";
      Stop();
      return false;
    }
  }
  device_path_ = QString::fromLocal8Bit(process_->readLine()).trimmed().toStdString();
  if (device_path_.empty()) {
    *error = "the simulator printed no device path";
    Stop();
    return false;
  }
  // Whatever it prints later is passed on, so its pipe never fills up.
  QObject::connect(process_.get(), &QProcess::readyReadStandardOutput, process_.get(), [p = process_.get()] {
    const QByteArray out = p->readAllStandardOutput();
    (void)std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    (void)std::fflush(stdout);
  });
  return true;
}

void DemoSimulator::Stop() {
  if (!process_) return;
  if (process_->state() != QProcess::NotRunning) {
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
      process_->kill();
      process_->waitForFinished(3000);
    }
  }
  process_.reset();
  device_path_.clear();
}

bool DemoSimulator::IsRunning() const {
  return process_ && process_->state() == QProcess::Running;
}

}  // namespace krt::app
