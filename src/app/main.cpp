#include "app/ProgrammerApp.h"

int main(int argc, char** argv) {
    CProgrammerApp app;
    return app.Run(argc, argv);
}
