#include "app/ui_services.hpp"

#include "app/window_texts.hpp"

namespace krt::app {

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start < filter.size()) {
    const std::string::size_type bar = filter.find('|', start);
    const std::string::size_type end = bar == std::string::npos ? filter.size() : bar;
    // An empty part is the doubled bar that ends the list.
    if (end == start) break;
    parts.push_back(filter.substr(start, end - start));
    start = end + 1;
  }
  std::vector<FileFilter> entries;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) entries.push_back({parts[i], parts[i + 1]});
  return entries;
}

std::string FileNamePart(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  const std::string::size_type slash = path.rfind('/');
  const std::string::size_type nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string::size_type dot = path.rfind('.');
  std::string out = path;
  if (dot != std::string::npos && dot >= nameStart) out.erase(dot);
  return out + extension;
}

std::optional<std::string> ChooseSavePath(UiServices& ui, const std::string& filter, const std::string& extension,
                                          std::string name) {
  for (;;) {
    std::optional<std::string> chosen = ui.SaveFile(filter, name);
    if (!chosen) return std::nullopt;
    name = WithExtension(*chosen, extension);
    if (!ui.FileExists(name)) return name;
    if (ui.AskYesNo(std::string(Text(TextId::kOverwrite)))) return name;
  }
}

}  // namespace krt::app
