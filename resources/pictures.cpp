#include "resources/pictures.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares the resource's initialiser in the global
// namespace, so it has to be expanded outside any namespace.
void ornivox_init_pictures() { Q_INIT_RESOURCE(pictures); }
