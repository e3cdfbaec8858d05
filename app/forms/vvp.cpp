#include "VvpMain.h"

int main(int argc, char** argv) {
    return vvp::VvpMain(argc, argv);
}
