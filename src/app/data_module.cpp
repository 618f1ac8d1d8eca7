#include "app/data_module.h"

#include "app/dpi_awareness.h"
#include "skin/skin_control.h"
#include "skin/skin_resource.h"

namespace orvek::app {

TDM* DM = nullptr;

TDM::TDM() : sdMain_(orvek::skin::LoadSkinResource()) {
  // Skin sizes are at 96 DPI like the window's design sizes and scale alike.
  orvek::skin::UseSkin(&sdMain_, ScaleForDpi(96));
  DataModuleCreate();
}

TDM::~TDM() { orvek::skin::UseSkin(nullptr, 96); }

}  // namespace orvek::app
