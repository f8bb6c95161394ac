#include "driver/run.h"

int main(int argc, char** argv) {
  return cagewarp::runCagewarp(argc, argv);
}
