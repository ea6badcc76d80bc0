// Texts of the stand-in programs, shared by their sources and resources.
#pragma once

#define STANDIN_DIALOG_CAPTION "Stand-in Kit Setup"
#define STANDIN_BOX_CAPTION "Stand-in Kit"
