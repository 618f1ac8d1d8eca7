// Resource id of the compressed skin, shared by the .rc and the loader.
#pragma once
#define ORVEK_SKIN_RESOURCE 301
