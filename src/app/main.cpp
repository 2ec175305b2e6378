#include "app/App.h"
#include "upload/PutSubtitles.h"

int main(int argc, char *argv[])
{
    App app(argc, argv);
    PutSubtitles::registerWith(app.router());
    return app.run();
}
