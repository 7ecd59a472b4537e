// The fault matrix's quick cells: every fault that ends within the serial line's
// short time-outs or the register's pauses.

#include "fault_matrix_fixture.h"

namespace fr::test {
namespace {

class FaultMatrix : public FaultMatrixFixture {};

TEST_P(FaultMatrix, Cell) {
    RunCell();
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, FaultMatrix, ::testing::ValuesIn(MatrixCells(false)),
                         MatrixCellName);

}  // namespace
}  // namespace fr::test
