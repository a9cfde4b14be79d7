"""Whole-process counterpart of `geofluid-cli batch TABLE --dataset both --temperatures T`:
reads the table with pandas and evaluates it in process, or over a local Dask cluster.

    evaluate_file.py TABLE TEMPERATURES [--dask WORKERS]
"""
import sys

import pandas as pd

import geofluid


def main():
    path, temperatures = sys.argv[1], sys.argv[2]
    df = pd.read_csv(path, dtype={"id": str}, float_precision="round_trip")
    if "--dask" not in sys.argv:
        result = geofluid.evaluate(df, temperatures=temperatures, dataset="both")
    else:
        import dask.dataframe as dd
        from dask import distributed

        from geofluid import dask as geofluid_dask

        workers = int(sys.argv[sys.argv.index("--dask") + 1])
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, \
                distributed.Client(cluster):
            ddf = dd.from_pandas(df, npartitions=4 * workers)
            result = geofluid_dask.evaluate(ddf, temperatures=temperatures, dataset="both",
                                           threads=1).compute()
    if (result["status"] == "error").any():
        sys.exit("rows failed")


if __name__ == "__main__":
    main()
