#include "framework/Registry.h"
#include "framework/Reports.h"
#include <iostream>
int main(int argc, char** argv) {
    using namespace audiolens;
    TRef<TAudioVerify> verify(new TAudioVerify);
    if (argc < 2 || !verify->Verify(argv[1])) return 1;
    std::cout << AudioReportText(*verify->Audio(), argv[1]);
}
