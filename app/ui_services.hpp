#pragma once
// What the window needs from the desktop besides its own controls: message
// boxes, the open and save dialogs and the file-exists test. Qt implements
// it for the program; tests script it.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace krt::app {

class UiServices {
 public:
  virtual ~UiServices() = default;

  // Message boxes; their caption is the program's name.
  virtual void ShowError(const std::string& text) = 0;
  virtual void ShowInformation(const std::string& text) = 0;
  // true for Yes, false for No.
  virtual bool AskYesNo(const std::string& text) = 0;

  // Filters are written "Description|pattern|...||". Both give a full path,
  // or nothing when cancelled. The save dialog never asks about replacing.
  virtual std::optional<std::string> OpenFile(const std::string& filter, const std::string& initialName) = 0;
  virtual std::optional<std::string> SaveFile(const std::string& filter, const std::string& initialName) = 0;

  virtual bool FileExists(const std::string& path) = 0;
};

// One entry of a "Description|pattern|...||" filter.
struct FileFilter {
  std::string description;
  std::string pattern;
};
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// The part of a path after its last '/' (the whole path when it has none).
std::string FileNamePart(const std::string& path);
// Drops the file name's extension (from its last full stop on) and appends
// `extension`; a full stop in a folder name does not count.
std::string WithExtension(const std::string& path, const std::string& extension);

// Shows the save dialog until the user picks a name that does not exist yet
// or agrees to replace it; the chosen name always ends in `extension`.
std::optional<std::string> ChooseSavePath(UiServices& ui, const std::string& filter, const std::string& extension,
                                          std::string name);

}  // namespace krt::app
