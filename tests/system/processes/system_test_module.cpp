// Nothing but a module for GetModulePath to name (see module_path_test.cpp).
extern "C" __declspec(dllexport) int SystemTestModuleAnswer() { return 42; }
