// Built by the layer test only: the core's include path must reject widgets.
#include <QtWidgets/QWidget>

int coreIncludesWidget()
{
    return 0;
}
