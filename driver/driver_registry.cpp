#include "driver/driver_registry.h"

#include "driver/driver.h"
#include "host/base_driver.h"

namespace fr {

void RegisterDriverClasses() {
    RegisterDriverClass<TDriver>(u"TDriver");
}

}  // namespace fr
