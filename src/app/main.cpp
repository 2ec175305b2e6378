#include "app/App.h"
#include "common/AllocatorSetup.h"

int main(int argc, char *argv[])
{
    AllocatorSetup::apply();
    App app(argc, argv);
    return app.run();
}
