// Faultmail: the crash reporter Olvane's crash filter starts after a crash.
#include "faultmail/FaultmailApp.h"

int main(int argc, char** argv)
{
    CFaultmailApp app;
    return app.Run(argc, argv);
}
