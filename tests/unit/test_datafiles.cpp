// Opening and closing the data file set, and loading the counters.
#include "tests/unit/fixture.h"

#include "store/datafiles.h"

namespace {

class DataFileSet : public PracticeTest {};

} // namespace

TEST_F(DataFileSet, OpensAllSevenAndClosesThem) {
    OpenSampleSet(5);
    for (FileHandle h : {hParam, hFschema, hFirstrec, hLastrec, hEstime, hClinique, hIdentite}) EXPECT_NE(h, 0u);
    EXPECT_EQ(LastPatient, 5);
    CloseDataFileSet();
    for (FileHandle h : {hParam, hFschema, hFirstrec, hLastrec, hEstime, hClinique, hIdentite}) EXPECT_EQ(h, 0u);
}
