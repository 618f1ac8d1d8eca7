// The data module: the one holder of the window skin, created before the
// main window because every skinned control binds to it while it is built.
#pragma once

#include "skin/skin_data.h"

namespace orvek::app {

class TDM {
 public:
  // Inflates and parses the skin stored in the program and makes it the
  // skin of every control. Throws when the stored skin is missing or damaged.
  TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;
  ~TDM();

  // Intentionally empty: everything the module holds comes from its stored
  // description, loaded in the constructor.
  void DataModuleCreate() {}

  const orvek::skin::SkinData& sdMain() const { return sdMain_; }

 private:
  orvek::skin::SkinData sdMain_;
};

// The single instance; lives from its creation in the entry point to the end
// of the process.
extern TDM* DM;

}  // namespace orvek::app
