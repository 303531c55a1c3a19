// Helper of the two-process settings test: settings_writer ID OTHER COUNT.
// Waits until OTHER is ready, writes COUNT integers below "Stress\ID" while
// publishing its progress and watching OTHER's, then waits until OTHER is done
// and checks every value OTHER wrote. Exit 0 when all held; the first fault is
// printed to the error output.

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "app/global_share.h"

namespace {

using namespace tagsmith;

bool WaitFor(SettingsStore& store, const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!store.ValueExists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: settings_writer ID OTHER COUNT\n";
    return 2;
  }
  const std::string id = argv[1], other = argv[2];
  const int count = std::stoi(argv[3]);
  try {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.WriteFlag("Stress\\Ready" + id, true);
    if (!WaitFor(store, "Stress\\Ready" + other)) {
      std::cerr << id << ": " << other << " never got ready\n";
      return 1;
    }
    int lastSeen = -1, changesSeen = 0;
    for (int i = 0; i < count; ++i) {
      store.WriteInteger("Stress\\" + id + "\\v" + std::to_string(i), i);
      store.WriteInteger("Stress\\Progress" + id, i);
      const int seen = store.ReadInteger("Stress\\Progress" + other, -1);
      if (seen < lastSeen) {
        std::cerr << id << ": progress of " << other << " went back from " << lastSeen << " to " << seen << "\n";
        return 1;
      }
      if (seen != lastSeen) ++changesSeen;
      lastSeen = seen;
    }
    store.WriteFlag("Stress\\Done" + id, true);
    if (!WaitFor(store, "Stress\\Done" + other)) {
      std::cerr << id << ": " << other << " never finished\n";
      return 1;
    }
    for (int i = 0; i < count; ++i) {
      const int v = store.ReadInteger("Stress\\" + other + "\\v" + std::to_string(i), -1);
      if (v != i) {
        std::cerr << id << ": value v" << i << " of " << other << " reads " << v << "\n";
        return 1;
      }
    }
    std::cout << changesSeen << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << id << ": " << e.what() << "\n";
    return 1;
  }
}
