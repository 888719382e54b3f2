// Feeds every file under the folders named on the command line to the fuzz
// entry point once, so corpora and kept crashes run as ordinary tests.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!fs::exists(argv[i], ec)) continue;
    for (auto it = fs::recursive_directory_iterator(argv[i], ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (!it->is_regular_file()) continue;
      // Named first, so a failing input can be found in the output.
      std::printf("%s\n", it->path().c_str());
      std::fflush(stdout);
      std::ifstream in(it->path(), std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++count;
    }
  }
  std::printf("%zu inputs ran\n", count);
  return count == 0 ? 1 : 0;
}
