// The memory it takes to read a model file: peak resident set after reading each file given
// (as the program reads a model: kept for writing deformed copies, and as the mesh to locate),
// against the file's size.
//   model_read_bench MODEL...
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "formats/model_file.h"

namespace {

long peakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: model_read_bench MODEL...\n");
    return 2;
  }
  for (int k = 1; k < argc; ++k) {
    const long before = peakKiB();
    const auto start = std::chrono::steady_clock::now();
    cagewarp::ModelFile source;
    cagewarp::Mesh mesh{3};
    cagewarp::Warnings warnings;
    const cagewarp::Status status = cagewarp::readModelMesh(argv[k], source, mesh, warnings);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!status.ok) {
      std::fprintf(stderr, "%s\n", status.message.c_str());
      return 1;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(argv[k])) / 1e6;
    const double peak = static_cast<double>(peakKiB()) * 1024 / 1e6;
    std::printf(
        "%s: %.1f MB, %d vertices, read in %.2f s, peak %.0f MB (%.1f x the file; %.0f MB "
        "before)\n",
        argv[k], megabytes, mesh.vertices.cols(), seconds, peak, peak / megabytes,
        static_cast<double>(before) * 1024 / 1e6);
  }
  return 0;
}
