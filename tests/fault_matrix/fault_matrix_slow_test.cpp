// The fault matrix's slow cells: faults that only the TCP link's receive time-out
// ends.

#include "fault_matrix_fixture.h"

namespace fr::test {
namespace {

class FaultMatrixSlow : public FaultMatrixFixture {};

TEST_P(FaultMatrixSlow, Cell) {
    RunCell();
}

INSTANTIATE_TEST_SUITE_P(FaultMatrixSlow, FaultMatrixSlow, ::testing::ValuesIn(MatrixCells(true)),
                         MatrixCellName);

}  // namespace
}  // namespace fr::test
