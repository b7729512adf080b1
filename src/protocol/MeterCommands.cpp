#include "MeterCommands.h"

#include <algorithm>

namespace varnetta::protocol {

const TMeterCommand* FindMeterCommand(uint8_t code)
{
    const auto it = std::find_if(kMeterCommands.begin(), kMeterCommands.end(),
                                 [code](const TMeterCommand& c) { return c.code == code; });
    return it == kMeterCommands.end() ? nullptr : &*it;
}

const TMeterCommand* FindMeterCommandByControl(std::string_view control)
{
    if (control.empty())
        return nullptr;
    const auto it = std::find_if(kMeterCommands.begin(), kMeterCommands.end(),
                                 [control](const TMeterCommand& c) { return c.control == control; });
    return it == kMeterCommands.end() ? nullptr : &*it;
}

} // namespace varnetta::protocol
