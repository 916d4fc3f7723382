// The process entry: the options in, the run's result out as the exit code.
#include <cstdlib>

#include "app/option_list.h"
#include "app/run_sequence.h"
#include "os/system_services.h"

int main(int argc, char** argv) {
    auto system = vorlane::makePlatformServices(argc, argv);
    const vorlane::OptionList options(*system, system->commandLineArguments());
    std::exit(vorlane::runSequence(*system, options));
}
