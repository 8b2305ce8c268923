#pragma once

// Readable failure messages for Qt values in GoogleTest assertions.
#include "support/QtPrinters.h"
