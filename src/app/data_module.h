// The data module: the one holder of the window skin, created before the
// main window because every skinned control binds to it while it is built.
#pragma once

namespace orvek::app {

class TDM {
 public:
  TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // Intentionally empty: everything the module holds comes from its stored
  // description, loaded in the constructor.
  void DataModuleCreate() {}
};

// The single instance; lives from its creation in the entry point to the end
// of the process.
extern TDM* DM;

}  // namespace orvek::app
