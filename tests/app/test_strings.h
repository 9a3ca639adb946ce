// Ids of the test programs' own string resources, far from the program's.
#pragma once

#define IDS_TEST_LONG 900
