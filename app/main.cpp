#include "app/program.h"

int main(int argc, char** argv) {
    return qx375::run_program(argc, argv);
}
