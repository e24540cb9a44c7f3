#include "controls/resources.h"

#include <QtGlobal>

static bool initResources()
{
    Q_INIT_RESOURCE(fgresources);
    return true;
}

void ensureResources()
{
    static const bool done = initResources();
    Q_UNUSED(done);
}
