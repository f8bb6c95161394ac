#include <csignal>

#include "driver/run.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write should fail and leave the earlier result, not kill the run.
  std::signal(SIGXFSZ, SIG_IGN);
  return cagewarp::runCagewarp(argc, argv);
}
