// The help listings of the script language: the advanced features and the built-in functions.
#include "script/script.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"

#include <initializer_list>

namespace {

// A help listing: message numbers printed one a line, 0 an empty line (a
// blank: the client is never handed an empty text), framed by the separator line.
void print_listing(const char* name, std::initializer_list<int> rows)
{
    DebugPlugin(1, "BEGIN: %s()", name);
    sPrintText(current_tab, "%s", kSeparatorLine);
    for (int number : rows) {
        if (number == 0)
            sPrintText(current_tab, "%s", " ");
        else
            PrintMessage(number);
    }
    sPrintText(current_tab, "%s", kSeparatorLine);
    DebugPlugin(1, "END: %s()", name);
}

}  // namespace

int quibo_advanced(HostSession*)
{
    print_listing("quibo_advanced",
                  {318, 299, 300, 301, 302, 740, 1054, 303, 765, 305, 306, 870, 304, 315, 788, 801, 871,  307, 308, 309,
                   1041, 1092, 800, 1044, 1097, 310, 311, 312, 313, 314, 758, 872, 839, 862, 863, 1086, 864, 316, 0, 317});
    return 0;
}

int quibo_function(HostSession*)
{
    print_listing("quibo_function",
                  {875,  876,  877,  878,  879,  880,  881,  0,    882,  883,  884,  885,  886,  887,  888,  889,  890,
                   1021, 0,    891,  892,  893,  894,  895,  0,    1005, 1006, 1007, 1008, 0,    896,  897,  898,  899,
                   900,  901,  902,  0,    903,  904,  905,  906,  907,  908,  0,    909,  910,  911,  912,  913,  0,
                   914,  915,  916,  917,  918,  919,  920,  921,  0,    922,  923,  924,  925,  926,  927,  928,  929,
                   0,    930,  931,  932,  933,  0,    934,  935,  936,  937,  938,  939,  940,  941,  0,    942,  943,
                   944,  945,  946,  947,  948,  949,  0,    950,  951,  952,  953,  954,  955,  956,  957,  0,    958,
                   959,  960,  961,  962,  963,  964,  0,    965,  966,  967,  968,  969,  970,  971,  0,    972,  973,
                   974,  975,  976,  977,  978,  979,  980,  981,  982,  984,  985,  986,  987,  1000, 1001, 1002, 1003,
                   0,    1004, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1022, 1028, 1029,
                   1030, 0,    1031, 1033, 1034, 1035, 1036, 1037, 0,    1038, 1039, 1045});
    return 0;
}
