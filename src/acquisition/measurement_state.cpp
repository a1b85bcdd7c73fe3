#include "acquisition/measurement_state.h"

#include "plot/spectrum_plot.h"

namespace pha {

void IniMes(MeasurementState& state, DrawingSurface& PicGrp) {
  state.TimMes = 0;
  state.SumTot = 0;
  state.CntTot = 0;
  state.SpcSmp.fill(1);
  state.SpcRef.fill(1);
  state.SpcSmt.fill(1);
  ++state.spectra_changes;
  DrwGrp(state, PicGrp);
}

}  // namespace pha
