import os

import pandas as pd
import pytest

import geofluid
from conftest import varied_wells

pytestmark = pytest.mark.dask


def test_local_cluster_of_two_processes_gives_the_in_process_result():
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("dask.distributed")
    import geofluid.dask

    df = varied_wells(int(os.environ.get("GEOFLUID_DASK_SAMPLES", 20000)))
    # Two faulty rows travel with their partitions.
    df.loc[[7, len(df) - 5], "pH"] = float("nan")
    # The measured mode keeps the test short; carrying the pH travels the same way.
    expected = geofluid.evaluate(df, dataset="both")

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        ddf = dd.from_pandas(df, npartitions=8)
        lazy = geofluid.dask.evaluate(ddf, dataset="both", threads=1)
        # The declared metadata is the result's, so nothing is computed to learn it.
        assert list(lazy.columns) == list(expected.columns)
        assert lazy.dtypes.to_dict() == expected.dtypes.to_dict()
        got = lazy.compute()
        # Both workers took part.
        assert len(client.run(lambda: 1)) == 2

    pd.testing.assert_frame_equal(got, expected)
    assert (got["status"] == "error").sum() == 4


def test_mistakes_are_reported_before_anything_runs():
    dd = pytest.importorskip("dask.dataframe")
    import geofluid.dask

    ddf = dd.from_pandas(varied_wells(10), npartitions=2)
    with pytest.raises(ValueError, match="units='ppm' is not one of"):
        geofluid.dask.evaluate(ddf, units="ppm")
    with pytest.raises(ValueError, match="unknown column"):
        geofluid.dask.evaluate(ddf.rename(columns={"Na": "sodium"}))


def test_each_partition_is_evaluated_once(monkeypatch):
    dask = pytest.importorskip("dask")
    dd = pytest.importorskip("dask.dataframe")
    import geofluid.dask

    calls = []
    evaluate = geofluid.evaluate

    def counting(df, **options):
        calls.append(len(df))
        return evaluate(df, **options)

    monkeypatch.setattr(geofluid, "evaluate", counting)
    df = varied_wells(40)
    lazy = geofluid.dask.evaluate(dd.from_pandas(df, npartitions=4), dataset="solveq")
    assert calls == [0]  # only the empty frame that checks the arguments
    with dask.config.set(scheduler="sync"):
        got = lazy.compute()
    assert sorted(calls[1:]) == [10, 10, 10, 10]
    pd.testing.assert_frame_equal(got, evaluate(df, dataset="solveq"))
