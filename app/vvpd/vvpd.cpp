#include "VvpdCommands.h"

int main(int argc, char** argv) {
    return vvp::VvpdMain(argc, argv);
}
