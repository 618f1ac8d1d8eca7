#include "app/data_module.h"

namespace orvek::app {

TDM* DM = nullptr;

TDM::TDM() { DataModuleCreate(); }

}  // namespace orvek::app
