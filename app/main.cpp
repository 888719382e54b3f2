// krtcfg: the desktop window.

#include <memory>

#include "app/rtcfg_app.hpp"
#include "link/posix_port.hpp"

int main(int argc, char** argv) {
  krt::app::AppEnvironment environment;
  environment.make_port = [] { return std::make_unique<krt::link::PosixPort>(); };
  krt::app::CRTCFGApp app(std::move(environment));
  return app.Run(argc, argv);
}
