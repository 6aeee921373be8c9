// Tresk: the launcher and updater that stands in front of a product's main
// program (see launcher.h for its command line).

#include "launcher.h"

int main(int argc, char** argv)
{
    return tresk::runTresk(std::vector<std::string>(argv + 1, argv + argc));
}
