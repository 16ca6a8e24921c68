// Replays saved fuzz inputs through a target without libFuzzer: every file
// named on the command line, and every file inside each directory named
// there (in name order), goes once through LLVMFuzzerTestOneInput. The tests
// run the committed corpora this way, so any build (with or without the
// sanitizers) checks that no saved input crashes or breaks an oracle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    for (const auto& file : files) {
      std::fprintf(stderr, "%s\n", file.string().c_str());
      if (!replay(file)) return 1;
      ++count;
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  std::fprintf(stderr, "replayed %zu inputs\n", count);
  return 0;
}
