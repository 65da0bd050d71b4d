// Runs a fuzz target over files and folders of inputs, so that seeds and crash reproducers run
// as ordinary tests (and under the sanitizers) without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& p, int& count) {
  std::ifstream in(p, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that a read past the end is caught by ASan.
  auto* buf = new uint8_t[bytes.size() ? bytes.size() : 1];
  std::copy(bytes.begin(), bytes.end(), buf);
  LLVMFuzzerTestOneInput(buf, bytes.size());
  delete[] buf;
  ++count;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) RunFile(e.path(), count);
    } else if (std::filesystem::exists(p)) {
      RunFile(p, count);
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
