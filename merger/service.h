// Stopping and starting the agent's scheduler service.
#pragma once
#include <string>

namespace zuvoze::merger {

// Asks the service to stop, waits 20 seconds, answers true; false (with a log
// entry carrying the system's message text) when a step fails.
bool fncStopService(const std::string& serviceName);
// Asks the service to start, waits 20 seconds, answers true; false (with a log
// entry) when a step fails, also when the service cannot be opened.
bool fncStartService(const std::string& serviceName);

}  // namespace zuvoze::merger
