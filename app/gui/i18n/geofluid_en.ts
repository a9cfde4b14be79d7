<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>%1 を書けません: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>PNG保存…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>SVG保存…</source>
        <translation>Save SVG…</translation>
    </message>
    <message>
        <source>PNG画像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>SVG画像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>CSV保存…</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>CSVファイル (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::BatchWindow</name>
    <message>
        <source>多数の試料</source>
        <translation>Many samples</translation>
    </message>
    <message>
        <source>試料表 (CSV) のファイル</source>
        <translation>The table of samples (CSV)</translation>
    </message>
    <message>
        <source>開く…</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>例: 150,200,250 または 100:300:10 (空欄: pH測定温度のみ)</source>
        <translation>e.g. 150,200,250 or 100:300:10 (empty: at the pH measurement temperature only)</translation>
    </message>
    <message>
        <source>水蒸気補正を施す</source>
        <translation>Steam correction</translation>
    </message>
    <message>
        <source>units 列のない行の単位</source>
        <translation>The unit of rows without a units column</translation>
    </message>
    <message>
        <source>水の単位に従う</source>
        <translation>as the water</translation>
    </message>
    <message>
        <source>steam_units 列のない行の蒸気中 CO2, H2S の単位</source>
        <translation>The unit of CO2 and H2S in the steam for rows without a steam_units column</translation>
    </message>
    <message>
        <source>試料表:</source>
        <translation>Samples:</translation>
    </message>
    <message>
        <source>温度 (℃):</source>
        <translation>Temperatures (°C):</translation>
    </message>
    <message>
        <source>データセット:</source>
        <translation>Dataset:</translation>
    </message>
    <message>
        <source>熱水の単位:</source>
        <translation>Water's unit:</translation>
    </message>
    <message>
        <source>蒸気の単位:</source>
        <translation>Steam's unit:</translation>
    </message>
    <message>
        <source>実行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>CSV保存…</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>JSON保存…</source>
        <translation>Save JSON…</translation>
    </message>
    <message>
        <source>試料表を開く</source>
        <translation>Open a table of samples</translation>
    </message>
    <message>
        <source>CSV (*.csv);;すべてのファイル (*)</source>
        <translation>CSV (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>CSVファイル (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
    <message>
        <source>JSONファイル (*.json)</source>
        <translation>JSON file (*.json)</translation>
    </message>
    <message>
        <source>試料表 (CSV) を選んでください。</source>
        <translation>Choose a table of samples (CSV).</translation>
    </message>
    <message>
        <source>データセットを一つ以上選んでください。</source>
        <translation>Choose at least one dataset.</translation>
    </message>
    <message>
        <source>温度: %1</source>
        <translation>Temperatures: %1</translation>
    </message>
    <message>
        <source>試料表を読んでいます…</source>
        <translation>Reading the table…</translation>
    </message>
    <message>
        <source>%1 試料を計算しています…</source>
        <translation>Calculating %1 samples…</translation>
    </message>
    <message>
        <source>中止しています…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>計算できません: %1</source>
        <translation>Cannot calculate: %1</translation>
    </message>
    <message>
        <source>%1 試料、%2 行 (エラー %3、警告 %4)</source>
        <translation>%1 samples, %2 rows (%3 errors, %4 warnings)</translation>
    </message>
    <message>
        <source>中止しました。最初の %1</source>
        <translation>Cancelled. The first %1</translation>
    </message>
    <message>
        <source>試料表が途中で壊れています: %1。最初の %2</source>
        <translation>The table breaks off: %1. The first %2</translation>
    </message>
    <message>
        <source>完了: %1</source>
        <translation>Done: %1</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>%1 を書けません: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::ResultsWindow</name>
    <message>
        <source>スケール</source>
        <translation>Scaling</translation>
    </message>
    <message>
        <source>この分析値ではまだ pH測定温度で計算していません。pH測定温度で一度計算すると、スケールの図が描けます。</source>
        <translation>This analysis has not been run at its pH measurement temperature yet. Run it there once to draw the scaling charts.</translation>
    </message>
    <message>
        <source>計算結果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>報告書と化学種の表に示すデータセット</source>
        <translation>The dataset shown in the report and the species table</translation>
    </message>
    <message>
        <source>データセット:</source>
        <translation>Dataset:</translation>
    </message>
    <message>
        <source>報告書を保存…</source>
        <translation>Save report…</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>テキスト (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
    <message>
        <source>%1 を書けません: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>報告書</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>飽和状態</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>log 活量は常用対数です (報告書の Log(Activity) は ln(活量)/2.303)。灰色: この温度でデータのない化学種 (log K = 100)。見出しをクリックすると並べ替えます。</source>
        <translation>log activity is the decimal logarithm (the report's Log(Activity) is ln(activity)/2.303). Grey: species without data at this temperature (log K = 100). Click a heading to sort.</translation>
    </message>
    <message>
        <source>化学種</source>
        <translation>Species</translation>
    </message>
    <message>
        <source>計算温度</source>
        <translation>calculation temperature</translation>
    </message>
    <message>
        <source>pH測定温度</source>
        <translation>at the pH measurement temperature</translation>
    </message>
    <message>
        <source>pH測定温度以外</source>
        <translation>at another temperature</translation>
    </message>
    <message>
        <source>報告書は書かれていません: %1</source>
        <translation>The report was not written: %1</translation>
    </message>
    <message>
        <source>報告書を作れません: %1</source>
        <translation>The report cannot be made: %1</translation>
    </message>
    <message>
        <source>電荷</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>重量モル濃度</source>
        <translation>Molality</translation>
    </message>
    <message>
        <source>活量係数</source>
        <translation>Activity coefficient</translation>
    </message>
    <message>
        <source>活量</source>
        <translation>Activity</translation>
    </message>
    <message>
        <source>log 活量</source>
        <translation>log activity</translation>
    </message>
    <message>
        <source>この温度でデータがありません</source>
        <translation>No data at this temperature</translation>
    </message>
    <message>
        <source>多数の試料…</source>
        <translation>Many samples…</translation>
    </message>
    <message>
        <source>CSV の試料表をまとめて計算します</source>
        <translation>Calculate a CSV table of samples at once</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>この分析値ではまだ pH測定温度で計算していません。pH測定温度で一度計算すると、温度の図が描けます。</source>
        <translation>This analysis has not been run at the pH measurement temperature yet. Run it once there (Option1) and the temperature picture can be drawn.</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::SaturationPanel</name>
    <message>
        <source>イオン強度</source>
        <translation>ionic strength</translation>
    </message>
    <message>
        <source>電荷収支</source>
        <translation>charge balance</translation>
    </message>
    <message>
        <source>蒸気の割合</source>
        <translation>steam fraction</translation>
    </message>
    <message>
        <source>鉱物</source>
        <translation>Mineral</translation>
    </message>
    <message>
        <source>過飽和 (SI &gt; 0)</source>
        <translation>oversaturated (SI &gt; 0)</translation>
    </message>
    <message>
        <source>未飽和 (SI &lt; 0)</source>
        <translation>undersaturated (SI &lt; 0)</translation>
    </message>
    <message>
        <source>飽和指数 SI = log(IAP/K)</source>
        <translation>Saturation index SI = log(IAP/K)</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::ScalingTab</name>
    <message>
        <source>スケール設計図</source>
        <translation>Design chart</translation>
    </message>
    <message>
        <source>沸騰経路の pH とガス</source>
        <translation>pH and gases on the boiling path</translation>
    </message>
    <message>
        <source>温度 (℃) か、地化学温度計のキー (multicomponent は多成分平衡)</source>
        <translation>A temperature (°C) or a geothermometer's key (multicomponent: the multicomponent equilibrium)</translation>
    </message>
    <message>
        <source>℃、カンマ区切り (100:200:10 のような範囲も可)</source>
        <translation>°C, comma separated (or a range such as 100:200:10)</translation>
    </message>
    <message>
        <source>直列の分離器</source>
        <translation>Separators in sequence</translation>
    </message>
    <message>
        <source>分離温度を高圧から低圧への順の段として扱います</source>
        <translation>Takes the separation temperatures as stages, from the high- to the low-pressure separator</translation>
    </message>
    <message>
        <source>℃、カンマ区切り</source>
        <translation>°C, comma separated</translation>
    </message>
    <message>
        <source>閉鎖系 (一段)</source>
        <translation>Closed degassing (one step)</translation>
    </message>
    <message>
        <source>開放系 (1 ℃ 刻み)</source>
        <translation>Open degassing (1 °C steps)</translation>
    </message>
    <message>
        <source>計算</source>
        <translation>Calculate</translation>
    </message>
    <message>
        <source>貯留層</source>
        <translation>Reservoir</translation>
    </message>
    <message>
        <source>分離温度</source>
        <translation>Separation</translation>
    </message>
    <message>
        <source>還元温度</source>
        <translation>Reinjection</translation>
    </message>
    <message>
        <source>PNG保存…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>SVG保存…</source>
        <translation>Save SVG…</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>PNG画像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>SVG画像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>pH %1 (%2 ℃ で測定) の試料。「計算」で沸騰・冷却の経路を求めます。</source>
        <translation>Sample of pH %1 (measured at %2 °C). Calculate follows it from the reservoir through boiling and cooling.</translation>
    </message>
    <message>
        <source>計算しています…</source>
        <translation>Calculating…</translation>
    </message>
    <message>
        <source>%1: 貯留層 %2 ℃ (%3)、pH %4</source>
        <translation>%1: reservoir %2 °C (%3), pH %4</translation>
    </message>
</context>
<context>
    <name>geofluid::gui::TemperatureTab</name>
    <message>
        <source>水蒸気補正を施す</source>
        <translation>Steam correction</translation>
    </message>
    <message>
        <source>計算</source>
        <translation>Calculate</translation>
    </message>
    <message>
        <source>温度範囲</source>
        <translation>Temperatures</translation>
    </message>
    <message>
        <source>刻み</source>
        <translation>step</translation>
    </message>
    <message>
        <source>推定に使う鉱物</source>
        <translation>The minerals of the estimate</translation>
    </message>
    <message>
        <source>PNG保存…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>SVG保存…</source>
        <translation>Save SVG…</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>PNG画像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>SVG画像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>%1 のみ</source>
        <translation>%1 only</translation>
    </message>
    <message>
        <source>pH %1 (%2 ℃ で測定) の試料。「計算」で温度の図を描きます。</source>
        <translation>The sample of pH %1 (measured at %2 °C). Calculate draws its temperature picture.</translation>
    </message>
    <message>
        <source>温度範囲: %1</source>
        <translation>Temperatures: %1</translation>
    </message>
    <message>
        <source>鉱物を一つ以上選んでください。</source>
        <translation>Choose at least one mineral.</translation>
    </message>
    <message>
        <source>計算しています…</source>
        <translation>Calculating…</translation>
    </message>
    <message>
        <source>log(Q/K) と温度</source>
        <translation>log(Q/K) against temperature</translation>
    </message>
    <message>
        <source>方法</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>データセット</source>
        <translation>Dataset</translation>
    </message>
    <message>
        <source>温度 (℃)</source>
        <translation>Temperature (°C)</translation>
    </message>
    <message>
        <source>値</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>注記</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>範囲の端</source>
        <translation>on the edge of the range</translation>
    </message>
    <message>
        <source>SI の %1 が最小</source>
        <translation>least %1 of SI</translation>
    </message>
    <message>
        <source>注意</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>溶存成分地化学温度計: %1</source>
        <translation>Solute geothermometers: %1</translation>
    </message>
    <message>
        <source>不確かさの帯 (5-95 %)</source>
        <translation>Uncertainty band (5-95 %)</translation>
    </message>
    <message>
        <source>成分 5 %、pH 0.1 (1σ) の誤差を乱数で与えて計算を繰り返し、log(Q/K) の 5-95 % の幅を描きます</source>
        <translation>Repeats the calculation with random errors of 5 % in the components and 0.1 in the pH (1 sigma) and draws the 5-95 % range of log(Q/K)</translation>
    </message>
    <message>
        <source> 回</source>
        <translation> draws</translation>
    </message>
    <message>
        <source>不確かさ: %1</source>
        <translation>Uncertainty: %1</translation>
    </message>
    <message>
        <source>帯: %1 回の抽選 (成分 5 %、pH 0.1 の 1σ)、失敗 %2 回</source>
        <translation>Band: %1 draws (1 sigma: 5 % of the components, 0.1 in pH), %2 failed</translation>
    </message>
    <message>
        <source>平衡で定める成分:</source>
        <translation>Fixed by equilibrium:</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>分析値にない %1 を、各温度でこの鉱物が飽和する (SI = 0) 量とします</source>
        <translation>%1 is not in the analysis: at each temperature its total is the one that saturates this mineral (SI = 0)</translation>
    </message>
    <message>
        <source>%1 は分析値にあります。鉱物を選ぶと平衡で定めた量に置き換えます</source>
        <translation>%1 is in the analysis; choosing a mineral replaces it by the total in equilibrium</translation>
    </message>
    <message>
        <source>%1 を %2 で固定</source>
        <translation>%1 fixed by %2</translation>
    </message>
    <message>
        <source>mol/kg</source>
        <translation>mol/kg</translation>
    </message>
</context>
</TS>
