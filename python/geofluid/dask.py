"""geofluid over a Dask DataFrame: each partition is evaluated where it lies, on any worker.

    from dask.distributed import Client
    import dask.dataframe as dd
    import geofluid.dask

    client = Client("tcp://scheduler:8786")          # or LocalCluster() on one machine
    ddf = dd.read_csv("analyses-*.csv", dtype={"id": str})
    result = geofluid.dask.evaluate(ddf, temperatures=[200, 250], units="mg/kg")
    result.to_parquet("results/")                     # or .compute() for a pandas DataFrame

Every worker needs the built module on its PYTHONPATH (the directory build/python), numpy,
pandas, dask and distributed, for the same Python version as the client.
"""

import dask.dataframe as dd

import geofluid


def _evaluate_partition(part, **options):
    return geofluid.evaluate(part, **options)


def evaluate(
    ddf,
    temperatures=None,
    dataset="both",
    units="mol/kg",
    steam_correction=True,
    *,
    steam_units=None,
    threads=0,
    interpolation="specified",
):
    """geofluid.evaluate over the partitions of a Dask DataFrame; returns a Dask DataFrame.

    Takes the arguments of geofluid.evaluate (see help(geofluid.evaluate) for the input and
    output columns and their units) and gives, once computed, the same rows and numbers as
    geofluid.evaluate on the whole table: the partitions in order, each sample's rows together.
    The result's columns and dtypes are declared up front, so building the graph computes
    nothing. ``threads`` is per partition (0: all cores of the worker).

    Arguments are checked here, before anything is sent to the workers: a wrong one raises
    ValueError with the command line's message. A fault of a row is reported in its
    status/message columns, the row named by its index label in its partition.
    """
    if not isinstance(ddf, dd.DataFrame):
        raise TypeError("geofluid.dask.evaluate takes a dask.dataframe.DataFrame")
    options = dict(
        temperatures=temperatures,
        dataset=dataset,
        units=units,
        steam_correction=steam_correction,
        steam_units=steam_units,
        threads=threads,
        interpolation=interpolation,
    )
    # The arguments and the header are checked on the empty frame Dask keeps of the input, so
    # that a mistake is reported here and not by every worker.
    meta = geofluid.evaluate(ddf._meta, **options)
    return ddf.map_partitions(
        _evaluate_partition, **options, meta=meta, align_dataframes=False, enforce_metadata=False
    )


def _scaling_partition(part, **options):
    return geofluid.scaling(part, **options)


def scaling(ddf, reservoir, separation=None, cooling=None, **options):
    """geofluid.scaling over the partitions of a Dask DataFrame; returns a Dask DataFrame.

    Takes the arguments of geofluid.scaling; they are checked here on the empty frame Dask
    keeps of the input, so that a mistake raises ValueError before anything is computed.
    """
    if not isinstance(ddf, dd.DataFrame):
        raise TypeError("geofluid.dask.scaling takes a dask.dataframe.DataFrame")
    options = dict(options, reservoir=reservoir, separation=separation, cooling=cooling)
    meta = geofluid.scaling(ddf._meta, **options)
    return ddf.map_partitions(
        _scaling_partition, **options, meta=meta, align_dataframes=False, enforce_metadata=False
    )
