#pragma once
// Message boxes and file dialogs of Qt for the window.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/ui_services.hpp"

namespace krt::app {

class QtUiServices : public UiServices {
 public:
  QtUiServices() = default;
  // Dialogs are centred on and modal to this window.
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowError(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> OpenFile(const std::string& filter, const std::string& initialName) override;
  std::optional<std::string> SaveFile(const std::string& filter, const std::string& initialName) override;
  bool FileExists(const std::string& path) override;

 private:
  QPointer<QWidget> parent_;
};

// "Description|pattern||" in Qt's "Description (pattern)" form, one per line.
QString QtNameFilters(const std::string& filter);

}  // namespace krt::app
