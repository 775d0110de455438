// The host library: everything a C++ program needs to drive the reader.
#ifndef RECHOST_RECHOST_H
#define RECHOST_RECHOST_H

#include "rechost/error.h"
#include "rechost/hostservices.h"
#include "rechost/packages.h"
#include "rechost/properties.h"
#include "rechost/reader.h"
#include "rechost/text.h"
#include "rechost/value.h"

#endif  // RECHOST_RECHOST_H
