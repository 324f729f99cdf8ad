// Entry of the editor: the subsystems install their hooks, then the application runs.

#include "App/CQVAppStartup.h"
#include "App/ModelWiring.h"

int main(int argc, char** argv) {
    InstallModelWiring();
    return AppMain(argc, argv);
}
