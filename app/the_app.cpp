#include "app/tally_kit_app.h"

// The one application object; its own file so that tests can build their own.
CTALLY_KITApp theApp;
