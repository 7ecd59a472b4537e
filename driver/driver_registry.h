#pragma once
// Registers the driver classes of this module in the process-wide class registry
// (the component object creates "TDriver" from it). Called once when the module
// loads and by the tools.

namespace fr {

void RegisterDriverClasses();

}  // namespace fr
