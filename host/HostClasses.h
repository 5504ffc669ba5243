#pragma once
// Registers the host's own classes with the component runtime, under the class
// identifiers and ProgIDs the plug-in creates them by.

namespace kelto::host {

void registerHostClasses();

} // namespace kelto::host
